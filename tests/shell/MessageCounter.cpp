#include "tests/shell/MessageCounter.h"

namespace kestrum::test {

namespace {

constexpr const wchar_t* counterProperty = L"Kestrum.MessageCounter";

} // namespace

MessageCounter::MessageCounter(HWND window, UINT message) : window_(window), message_(message) {
    SetPropW(window, counterProperty, this);
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&counting)));
}

MessageCounter::~MessageCounter() {
    if (IsWindow(window_)) {
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        RemovePropW(window_, counterProperty);
    }
}

LRESULT CALLBACK MessageCounter::counting(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* counter = static_cast<MessageCounter*>(GetPropW(window, counterProperty));
    if (message == counter->message_) {
        ++counter->count_;
    }
    return CallWindowProcW(counter->previous_, window, message, wParam, lParam);
}

} // namespace kestrum::test
