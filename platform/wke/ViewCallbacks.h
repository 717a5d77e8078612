#pragma once
// The events a client registered on one engine view, each with the value its
// registration passed along, and the one way an engine module defines its
// registration exports; shared by the engine modules so that every engine
// keeps them the same way.

#include "platform/wke/wke.h"

#include <cstddef>
#include <tuple>
#include <utility>

// The slot of each event of wke.h, in the slot order of the web view control.
enum WkeEventSlot : std::size_t {
    kTitleChangedSlot,
    kURLChangedSlot,
    kAlertBoxSlot,
    kNavigationSlot,
    kCreateViewSlot,
    kDocumentReadySlot,
    kLoadingFinishSlot,
    kPageMessageSlot,
    kWkeEventSlotCount,  // a module's own events take the slots from here on
};

// One registration: the callback (null: none) and the value passed with it.
template <typename Callback>
struct WkeRegistration {
    Callback callback = nullptr;
    void* param = nullptr;

    explicit operator bool() const { return callback != nullptr; }
};

// The registrations of one view: the eight events of wke.h, then `Extra`,
// the module's own, from kWkeEventSlotCount on. Guarded by whatever guards
// the view.
template <typename... Extra>
class WkeCallbackSlots {
  public:
    template <std::size_t Slot>
    using Callback = std::tuple_element_t<
        Slot, std::tuple<wkeTitleChangedCallback, wkeURLChangedCallback, wkeAlertBoxCallback,
                         wkeNavigationCallback, wkeCreateViewCallback, wkeDocumentReadyCallback,
                         wkeLoadingFinishCallback, wkePageMessageCallback, Extra...>>;

    template <std::size_t Slot>
    void Set(Callback<Slot> callback, void* param) {
        std::get<Slot>(m_slots) = {callback, param};
    }

    template <std::size_t Slot>
    WkeRegistration<Callback<Slot>> Get() const {
        return std::get<Slot>(m_slots);
    }

  private:
    template <typename Indices>
    struct Registrations;
    template <std::size_t... Slots>
    struct Registrations<std::index_sequence<Slots...>> {
        using type = std::tuple<WkeRegistration<Callback<Slots>>...>;
    };

    typename Registrations<std::make_index_sequence<kWkeEventSlotCount + sizeof...(Extra)>>::type m_slots;
};

using WkeViewCallbacks = WkeCallbackSlots<>;

// The registration exports of wke.h, one X(export, slot, callback type) each.
#define WKE_VIEW_REGISTRATIONS(X)                                       \
    X(wkeOnTitleChanged, kTitleChangedSlot, wkeTitleChangedCallback)    \
    X(wkeOnURLChanged, kURLChangedSlot, wkeURLChangedCallback)          \
    X(wkeOnAlertBox, kAlertBoxSlot, wkeAlertBoxCallback)                \
    X(wkeOnNavigation, kNavigationSlot, wkeNavigationCallback)          \
    X(wkeOnCreateView, kCreateViewSlot, wkeCreateViewCallback)          \
    X(wkeOnDocumentReady, kDocumentReadySlot, wkeDocumentReadyCallback) \
    X(wkeOnLoadingFinish, kLoadingFinishSlot, wkeLoadingFinishCallback) \
    X(wkeOnPageMessage, kPageMessageSlot, wkePageMessageCallback)

// Defines the registration export `name` (inside extern "C"): it hands its
// arguments and its own name to RegisterCallback<slot>(webView, callback,
// param, "name"), a function template of the module, which decides how the
// view is guarded. The compiler checks the export against its declaration.
#define WKE_DEFINE_REGISTRATION(name, slot, CallbackType)                       \
    WKE_API void name(wkeWebView webView, CallbackType callback, void* param) { \
        RegisterCallback<slot>(webView, callback, param, #name);                \
    }
