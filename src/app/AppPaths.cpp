#include "app/AppPaths.h"

#include "account/HeadPicture.h"
#include "account/SavedLogin.h"
#include "platform/os/Paths.h"

const CAppPaths& CAppPaths::Instance() {
    static const CAppPaths paths;
    return paths;
}

CAppPaths::CAppPaths()
    : m_programFolder(os::GetProgramFolder()),
      m_userDataFolder(os::GetUserDataFolder()),
      m_headPicturePath(HeadPicture::UserPicturePath()) {
    // A fresh home may lack ~/.config; a folder that cannot be created is
    // left to the writers of each file to notice.
    os::CreateFolderWithParents(m_userDataFolder);
    LoadSavedLogin();
}
