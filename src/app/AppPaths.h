#pragma once
// The process-wide paths: the program folder, the per-user data folder and
// the user's picture file. Built once, on first use, from any thread; read
// only afterwards. Building it also restores the saved login.

#include <string>

class CAppPaths {
  public:
    // The process-wide paths, built on first use (thread-safe).
    static const CAppPaths& Instance();

    // Computes the paths from the environment, creates the per-user data
    // folder (with its parents) and restores the saved login.
    CAppPaths();

    // Folder of the running executable, without a trailing separator.
    const std::string& ProgramFolder() const { return m_programFolder; }
    // $XDG_CONFIG_HOME/vanto.
    const std::string& UserDataFolder() const { return m_userDataFolder; }
    // The user's picture: per-user data folder + "pic_head.jpg".
    const std::string& HeadPicturePath() const { return m_headPicturePath; }

  private:
    std::string m_programFolder;
    std::string m_userDataFolder;
    std::string m_headPicturePath;
};
