#pragma once

#include "Gdi.h"
#include "Scene.h"
#include "SharedJob.h"

#include <windows.h>

#include <shellapi.h>

#include <array>
#include <memory>
#include <string>

class TStatus_show;

// The main window `main`. Pictures and labels are items of its scene, painted
// by the window; each command is an owner-drawn button over its bar whose
// window text is the command's label, so screen readers find a named button;
// the four edit boxes are ordinary EDIT controls. The items' shown and
// enabled states are the window's state, read back by the handlers.
class Tmain {
public:
    Tmain(SharedJob& job, std::wstring first_argument);
    Tmain(const Tmain&) = delete;
    Tmain& operator=(const Tmain&) = delete;
    ~Tmain();

    HWND window() const { return window_; }
    void setStatus_show(TStatus_show* dialog) { status_show_ = dialog; }
    // Runs the creation handler; called once both windows exist.
    void start();

    // "Minimise the application" and "restore the application".
    void minimise_application();
    void restore_application();
    bool application_minimised() const { return application_minimised_; }
    bool in_tray() const { return hidden_for_tray_; }

    // A message for this window or its dialogs' keyboard handling; true when consumed.
    bool pre_translate(MSG& message);

    static constexpr long long LARGE_FILE_THRESHOLD = 8'000'000;

    void FormCreate();
    void FormMouseMove();
    void cryptMouseMove();
    void decryptMouseMove();
    void selectfileMouseMove();
    void savetochoseMouseMove();
    void offMouseMove();
    void cryptblinkTimer();
    void decryptblinkTimer();
    void stopperTimer();
    void crypt_actClick();
    void decryptlabelClick();
    void chosefilelabelClick();
    void savetochose_labelClick();
    void off_actClick();
    void Label6Click();
    void pwChange();
    void pwagainChange();
    void trayClick();
    void ApplicationEvents1Minimize();
    void ApplicationEvents1Restore();

private:
    enum Timer : UINT_PTR { decryptblink = 1, cryptblink, stopper, trayanimation };
    // The commands' buttons, in the order of their handlers.
    enum Command { cmd_crypt, cmd_decrypt, cmd_selectfile, cmd_savetochose, cmd_off, cmd_link, command_count };
    struct FileDialog {
        const wchar_t* filter; // pairs separated by NULs
        std::wstring file_name;
        int filter_index = 1;
    };

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK child_procedure(HWND child, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                            DWORD_PTR owner);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls();
    void layout();
    void apply_dpi(UINT dpi);
    void place_on_desktop();

    // Scene items by name.
    bool shown(int item) const { return scene_[item].shown; }
    void show(int item, bool on = true);
    void hide(int item) { show(item, false); }
    void enable(int item, bool on);
    void enable_command(Command command, std::initializer_list<int> items, bool on);
    std::wstring text(HWND edit) const;
    void set_text(HWND edit, const std::wstring& text);
    void start_timer(Timer timer);
    void stop_timer(Timer timer);

    void mouse_moved(POINT client);
    void applyPasswordRule();
    void applyConfirmationRule();
    bool acceptSource(const std::wstring& path, bool from_command_line);
    void acceptArgument(const std::wstring& path);
    void passwordEntered();
    void runCommand(bool encrypt);
    void showTaskbarEntryAndRestore();
    void bringToFront();
    void set_tray_shown(bool shown);
    void trayanimationTimer();
    void dropped(HDROP drop);
    bool targetConfirmedInSaveDialog() const;

    SharedJob& job;
    std::wstring first_argument_;
    TStatus_show* status_show_ = nullptr;
    HWND window_ = nullptr;
    trezorka::win::Scene scene_;
    trezorka::win::BackBuffer buffer_;
    trezorka::win::Brush silver_;
    trezorka::win::Brush window_background_;
    trezorka::win::Icon icon_big_;
    trezorka::win::Icon icon_small_;
    std::array<trezorka::win::Icon, 3> anicons_;
    std::array<HWND, command_count> buttons_{};
    std::array<bool, 5> timer_running_{};
    HWND filetocrypt = nullptr;
    HWND finalfile = nullptr;
    HWND pw = nullptr;
    HWND pwagain = nullptr;
    bool pwagain_silver_ = false;

    // Scene items, in creation order.
    int Image3, off, Image2, Image1, selectfile, crypt, decrypt, crypt_act, decrypt_act, Label1, Label2,
        selectfile_act, cryptlabel, decryptlabel, chosefilelabel, savetochose, savetochose_act, savetochose_label,
        Label4, pwagainlabel, pwok, pwagainok, pwagainerr, pwerr, Label3, Label6, off_act, offlabel;

    FileDialog filechosedialog;
    FileDialog saveto;
    std::wstring saveto_confirmed_;

    // The tray icon and its texts.
    bool tray_shown_ = false;
    int tray_frame_ = 0;
    std::wstring tray_hint_;
    std::wstring tray_balloon_text_;

    bool application_minimised_ = false;
    bool hidden_for_tray_ = false;
    bool placed_ = false;
};
