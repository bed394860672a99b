#include "platform/qt/qt_skin.h"

#include <utility>

namespace tav::qt::skin {

namespace {

// The colours by the names the style sheets below write them with.
constexpr std::pair<const char*, QRgb> kNamed[] = {
    {"%window%", kWindow},       {"%picture%", kPicture},
    {"%field%", kField},         {"%text%", kText},
    {"%bright%", kBrightText},   {"%white%", kWhite},
    {"%dim%", kDimText},         {"%note%", kNote},
    {"%edge%", kEdge},           {"%frame%", kFrame},
    {"%button%", kButton},       {"%button-edge%", kButtonEdge},
    {"%button-hover%", kButtonHover}, {"%chosen%", kChosen},
    {"%accent%", kAccent},       {"%focus%", kFocus},
    {"%rule%", kRule},
};

QString with_colours(const char* sheet) {
  QString out = QString::fromLatin1(sheet);
  for (const auto& [name, rgb] : kNamed) out.replace(QLatin1String(name), css(rgb));
  return out;
}

}  // namespace

QString css(QRgb rgb) {
  return QStringLiteral("#%1").arg(rgb & 0xFFFFFFu, 6, 16, QLatin1Char('0')).toUpper();
}

QString dialog_style_sheet() {
  return with_colours(
      "QCheckBox{color:%text%;spacing:6px;background:transparent;}"
      "QCheckBox:disabled{color:%dim%;}"
      "QCheckBox::indicator{width:12px;height:12px;border:1px solid %edge%;"
      "background:%field%;}"
      "QCheckBox::indicator:hover{border-color:%focus%;}"
      "QCheckBox::indicator:checked{background:%accent%;border-color:%focus%;"
      "image:url(:/skin/check.png);}"
      "QLineEdit{color:%bright%;background:%field%;border:1px solid %frame%;"
      "padding:1px 4px;selection-background-color:%accent%;}"
      "QLineEdit:focus{border-color:%focus%;}"
      "QPushButton{color:%bright%;background:%button%;border:1px solid %button-edge%;"
      "border-radius:2px;padding:2px 8px;}"
      "QPushButton:hover{background:%button-hover%;border-color:%focus%;}"
      "QPushButton:pressed{background:%chosen%;}"
      "QPushButton:focus{border-color:%focus%;}"
      "QPushButton:disabled{color:%dim%;}");
}

QString menu_style_sheet() {
  return with_colours(
      "QMenu{background:%field%;color:%text%;border:1px solid %rule%;font-size:12px;}"
      "QMenu::item{padding:5px 24px 5px 18px;}QMenu::item:selected{background:%chosen%;"
      "color:%white%;}QMenu::item:disabled{color:%dim%;}QMenu::separator{height:1px;"
      "background:%rule%;margin:3px 6px;}");
}

QString player_message_style_sheet() {
  return with_colours("color:%note%;font-size:13px;background:%picture%;");
}

QString failure_page_style() {
  return with_colours(
      "*{margin:0;padding:0;}body{overflow:auto;background:%window%;color:%white%;"
      "text-align:center;font-size:12px}p{line-height:22px}.why{color:%note%}");
}

}  // namespace tav::qt::skin
