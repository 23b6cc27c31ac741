// An owning BSTR.
#pragma once

#include <varel/vts_platform.h>

#include "text.h"

#include <string>
#include <string_view>
#include <utility>

class BStr {
public:
    BStr() = default;
    explicit BStr(const OLECHAR* text) : s_(text ? SysAllocString(text) : nullptr) {}
    explicit BStr(WideStringView text)
        : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    BStr(const BStr& other)
        : s_(other.s_ ? SysAllocStringLen(other.s_, SysStringLen(other.s_)) : nullptr) {}
    BStr(BStr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
    ~BStr() { SysFreeString(s_); }
    BStr& operator=(BStr other) noexcept {
        std::swap(s_, other.s_);
        return *this;
    }

    static BStr Attach(BSTR s) {
        BStr result;
        result.s_ = s;
        return result;
    }
    BSTR Detach() { return std::exchange(s_, nullptr); }
    BSTR* Put() {
        SysFreeString(std::exchange(s_, nullptr));
        return &s_;
    }
    BSTR Get() const { return s_; }
    UINT Length() const { return SysStringLen(s_); }
    WideStringView View() const { return {s_ ? s_ : OLESTR(""), Length()}; }

private:
    BSTR s_ = nullptr;
};
