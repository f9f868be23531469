#pragma once

#include <windows.h>

#include <string_view>

struct IAccPropServices;

// What a screen reader is told of a control beyond what Windows knows of it:
// a name, a description. Through the system's annotation service; where it
// is missing, nothing is told.
class Accessibility {
public:
    Accessibility();
    Accessibility(const Accessibility&) = delete;
    Accessibility& operator=(const Accessibility&) = delete;
    ~Accessibility();

    void set_name(HWND control, std::u16string_view name);
    void set_description(HWND control, std::u16string_view description);

private:
    IAccPropServices* services_ = nullptr;
};
