#pragma once
// The per-user profile "config.ini" in the per-user data folder: switches of
// the self-update. Filled at start-up of the interactive run.

#include <string>

class CLocalConfig {
  public:
    // The process-wide record filled at start-up.
    static CLocalConfig& Instance();

    // Computes the path of "config.ini" in `userDataFolder` and reads
    // [General] "CanUpdate" (1 when missing).
    void Load(const std::string& userDataFolder);

    const std::string& Path() const { return m_path; }
    // 0: the automatic update check never downloads a newer installer.
    int CanUpdate() const { return m_canUpdate; }

  private:
    std::string m_path;
    int m_canUpdate = 1;
};
