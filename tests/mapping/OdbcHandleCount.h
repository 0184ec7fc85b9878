// Counts the ODBC environment and connection handles the program holds, by routing the
// program's imports of SQLAllocHandle and SQLFreeHandle through counting functions. A free
// the driver manager refuses (an environment that still has a connection answers HY010)
// leaves its handle counted: it lives on.
#pragma once
#include <windows.h>
#include <sql.h>

#include <mutex>
#include <set>

extern "C" {
// The import address table's slots of the test program, which the library code calls through.
extern SQLRETURN(SQL_API* __imp_SQLAllocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
extern SQLRETURN(SQL_API* __imp_SQLFreeHandle)(SQLSMALLINT, SQLHANDLE);
}

namespace vcm::test {

class OdbcHandleCount {
public:
    OdbcHandleCount()
    {
        s_self = this;
        m_alloc = Swap(&__imp_SQLAllocHandle, &Alloc);
        m_free = Swap(&__imp_SQLFreeHandle, &Free);
    }
    ~OdbcHandleCount()
    {
        Swap(&__imp_SQLAllocHandle, m_alloc);
        Swap(&__imp_SQLFreeHandle, m_free);
        s_self = nullptr;
    }
    OdbcHandleCount(const OdbcHandleCount&) = delete;
    OdbcHandleCount& operator=(const OdbcHandleCount&) = delete;

    // Environment and connection handles allocated since the count began and not freed.
    size_t Live() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_live.size();
    }

private:
    using AllocFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE, SQLHANDLE*);
    using FreeFn = SQLRETURN(SQL_API*)(SQLSMALLINT, SQLHANDLE);

    template <class Fn>
    static Fn Swap(Fn* slot, Fn with)
    {
        DWORD old = 0;
        VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &old);
        const Fn was = *slot;
        *slot = with;
        VirtualProtect(slot, sizeof(*slot), old, &old);
        return was;
    }

    static SQLRETURN SQL_API Alloc(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output)
    {
        const SQLRETURN rc = s_self->m_alloc(type, input, output);
        if (SQL_SUCCEEDED(rc) && (type == SQL_HANDLE_ENV || type == SQL_HANDLE_DBC)) {
            std::lock_guard<std::mutex> guard(s_self->m_lock);
            s_self->m_live.insert(*output);
        }
        return rc;
    }

    static SQLRETURN SQL_API Free(SQLSMALLINT type, SQLHANDLE handle)
    {
        const SQLRETURN rc = s_self->m_free(type, handle);
        if (SQL_SUCCEEDED(rc)) {
            std::lock_guard<std::mutex> guard(s_self->m_lock);
            s_self->m_live.erase(handle);
        }
        return rc;
    }

    static inline OdbcHandleCount* s_self = nullptr;
    AllocFn m_alloc = nullptr;
    FreeFn m_free = nullptr;
    mutable std::mutex m_lock;
    std::set<SQLHANDLE> m_live;
};

}  // namespace vcm::test
