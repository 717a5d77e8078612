#pragma once
// The paint manager's message-side state (notifiers, filters, timers), kept
// out of UIManager.h so the model side compiles without the loop's details.
// Private to the library.

#include "platform/duilib/UIManager.h"

#include <vector>

namespace DuiLib {

struct CPaintManagerUI::MessageState {
    std::vector<INotifyUI*> notifiers;
    std::vector<IMessageFilterUI*> preFilters;
    std::vector<IMessageFilterUI*> filters;
};

}  // namespace DuiLib
