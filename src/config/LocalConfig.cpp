#include "config/LocalConfig.h"

#include "platform/os/Paths.h"
#include "platform/os/Profile.h"

CLocalConfig& CLocalConfig::Instance() {
    static CLocalConfig config;
    return config;
}

void CLocalConfig::Load(const std::string& userDataFolder) {
    m_path = os::PathJoin(userDataFolder, "config.ini");
    m_canUpdate = os::ReadProfileInt("General", "CanUpdate", 1, m_path);
}
