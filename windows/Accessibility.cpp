#include "Accessibility.h"

#include "Scene.h"

#include <initguid.h>
#include <oleacc.h>

#include <string>

namespace {

void annotate(IAccPropServices* services, HWND control, const MSAAPROPID& property, std::u16string_view text)
{
    if (services)
        services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property,
                                 trezorka::win::wide(text).c_str());
}

} // namespace

Accessibility::Accessibility()
{
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&services_))))
        services_ = nullptr;
}

Accessibility::~Accessibility()
{
    if (services_)
        services_->Release();
}

void Accessibility::set_name(HWND control, std::u16string_view name)
{
    annotate(services_, control, PROPID_ACC_NAME, name);
}

void Accessibility::set_description(HWND control, std::u16string_view description)
{
    annotate(services_, control, PROPID_ACC_DESCRIPTION, description);
}
