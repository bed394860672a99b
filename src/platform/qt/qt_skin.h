// The skin: its colours, and the style sheets of the toolkit's own widgets
// (the dialogs' boxes and buttons, the menus, the player area's message),
// light on dark. Every colour the desktop backend draws with is named here
// once.
#pragma once

#include <QColor>
#include <QString>

namespace tav::qt::skin {

// 0xRRGGBB.
inline constexpr QRgb kWindow = 0x070707;       // behind the windows' content and the pages
inline constexpr QRgb kPicture = 0x000000;      // the player area
inline constexpr QRgb kField = 0x151515;        // text boxes, check boxes, menus
inline constexpr QRgb kText = 0xC8C8B0;         // check boxes, menu items
inline constexpr QRgb kBrightText = 0xE8E8D8;   // text boxes, buttons
inline constexpr QRgb kWhite = 0xFFFFFF;        // a chosen menu item, the failure page
inline constexpr QRgb kDimText = 0x555549;      // what cannot be used
inline constexpr QRgb kNote = 0x9C9C81;         // messages in place of content
inline constexpr QRgb kEdge = 0x5A5A50;         // check boxes' squares, page tabs
inline constexpr QRgb kFrame = 0x3A3A34;        // frames, text boxes
inline constexpr QRgb kButton = 0x26262A;
inline constexpr QRgb kButtonEdge = 0x4A4A44;
inline constexpr QRgb kButtonHover = 0x32323A;
inline constexpr QRgb kChosen = 0x26324A;       // a pressed button, the menu item under the pointer
inline constexpr QRgb kAccent = 0x3875D7;       // a checked box, selected text
inline constexpr QRgb kFocus = 0x80A8FF;        // the edge of what the pointer or the keys are on
inline constexpr QRgb kRule = 0x2A2929;         // menus' edges and separators

inline QColor color(QRgb rgb) { return QColor(rgb); }
// "#RRGGBB", for style sheets and pages.
QString css(QRgb rgb);

// A window with the system's frame (a dialog): its check boxes, text boxes
// and buttons.
QString dialog_style_sheet();
// The program's menus.
QString menu_style_sheet();
// The message the player area shows when there is no player.
QString player_message_style_sheet();
// The style of the page shown where a load failed (the text of a <style>).
QString failure_page_style();

}  // namespace tav::qt::skin
