#include "platform/Handles.h"

#include <commctrl.h>
#include "platform/Odbc.h"

namespace vcm {

void HImageListTraits::Close(Handle h) noexcept { ImageList_Destroy(h); }

template <SQLSMALLINT Type>
void SqlHandleTraits<Type>::Close(Handle h) noexcept
{
    if constexpr (Type == SQL_HANDLE_DBC)
        SQLDisconnect(h);
    SQLFreeHandle(Type, h);
}

template struct SqlHandleTraits<SQL_HANDLE_ENV>;
template struct SqlHandleTraits<SQL_HANDLE_DBC>;
template struct SqlHandleTraits<SQL_HANDLE_STMT>;

}  // namespace vcm
