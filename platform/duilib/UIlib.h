#pragma once
// The whole UI library in one include, for the client's windows: window
// types and messages, the controls, layouts, the paint manager, windows,
// menus and the Win32-shaped window functions. Tests add Automation.h and
// UiThread.h themselves.

#include "platform/duilib/UIDefine.h"
#include "platform/duilib/WinUser.h"

#include "platform/duilib/UIButton.h"
#include "platform/duilib/UIContainer.h"
#include "platform/duilib/UIControl.h"
#include "platform/duilib/UIDPI.h"
#include "platform/duilib/UIDlgBuilder.h"
#include "platform/duilib/UIEdit.h"
#include "platform/duilib/UILabel.h"
#include "platform/duilib/UIList.h"
#include "platform/duilib/UIManager.h"
#include "platform/duilib/UIMenuUI.h"
#include "platform/duilib/UIOption.h"
#include "platform/duilib/UIPicture.h"
#include "platform/duilib/UIProgress.h"
#include "platform/duilib/UIRender.h"
#include "platform/duilib/UIWkeWebkit.h"

#include "platform/duilib/UIMenu.h"
#include "platform/duilib/WinImplBase.h"
#include "platform/duilib/WindowWnd.h"
