#include "app/StartupChecks.h"

#include "VeltoCredentialsMapResCONST.h"
#include "platform/ProgramInfo.h"
#include "platform/RegistryAPI.h"
#include "platform/TextConv.h"
#include "platform/VeltoVersion.h"

namespace vcm {

namespace {
constexpr wchar_t kConnectorKey[] = L"SOFTWARE\\Orvanto\\SystemParameters\\1.0";
constexpr wchar_t kConnectorValue[] = L"IDCProgID";
constexpr wchar_t kRefusedConnector[] = L"ZrDsDomino.ZrIDCDomino.1";
constexpr wchar_t kLogName[] = L"\\CredentialsLog.txt";
}  // namespace

std::wstring ActivityLogPath() { return AppFolder() + kLogName; }

int CheckServer(StepRunner& step)
{
    step([] { gProductVersion = GetVeltoVersion(); });

    bool refused = false;
    step([&] { refused = !VersionAccepted(gProductVersion); });
    if (refused)
        return IDS_REFUSED_VERSION;

    std::wstring connector;
    step([&] {
        connector = RegValueText(
            ReadRegistryValue(HKEY_LOCAL_MACHINE, kConnectorKey, kConnectorValue, kRegString, RegValue{}));
    });
    if (EqualsNoCase(connector, kRefusedConnector))
        return IDS_REFUSED_CONNECTOR;
    return 0;
}

}  // namespace vcm
