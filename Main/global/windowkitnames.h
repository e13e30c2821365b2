#pragma once

// Names shared by the frameless window kit, the dialogs that use it and the membership module's frame.
namespace windowkit {

// Dynamic properties a dialog sets before it asks the membership module for its frameless frame.
constexpr char kHeaderButtons[] = "header_btns"; // list of QObject* buttons that belong to the header
constexpr char kHeaderVisible[] = "header_visible"; // bool
constexpr char kHeaderHeight[] = "header_height"; // int, pixels

// The module that frames dialogs, and the command that asks it to (argument: the QWidget* as a pointer
// value).
constexpr char kMembershipModule[] = "Memvia";
constexpr int kFramelessFrameCommand = 100;

constexpr char kAppIcon[] = ":/rc/icon.png";
constexpr char kMessageBoxStyleSheet[] = ":/qss/dialog/messageboxdialog.css";

// Height of a dialog's title bar before DPI scaling.
constexpr int kTitleBarHeight = 36;

} // namespace windowkit
