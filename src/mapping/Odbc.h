// The ODBC headers in the order the Windows SDK needs them (sqlext.h after windows.h).
#pragma once
#include <windows.h>
#include <sql.h>
#include <sqlext.h>
