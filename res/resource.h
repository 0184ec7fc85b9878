// Resource identifiers of the executable: icon, manifest and the catalogue ids.
#pragma once
#include "VeltoCredentialsMapResCONST.h"

#define IDI_APP                     1
