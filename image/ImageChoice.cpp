#include "image/ImageChoice.h"

namespace korven {

ImageChoice::ImageChoice(ProgPrin& window, Files& files) : w_(window), files_(files) {
  auto& box = w_.MENU_NOM_FICHIER;
  box.onGotFocus.connect([this] { MENU_NOM_FICHIER_GotFocus(); });
  box.onChange.connect([this] { copyChoice(); });
  box.onClick.connect([this] { copyChoice(); });
  box.onKeyPress.connect([](int& character) { character = 0; });
  box.onLostFocus.connect([this] { w_.NOM_FICHIER.setText(w_.MENU_NOM_FICHIER.text()); });
  w_.Command7.onClick.connect([this] { w_.NOM_FICHIER.setText("02.BIN"); });
}

bool ImageChoice::MENU_NOM_FICHIER_GotFocus() {
  auto& box = w_.MENU_NOM_FICHIER;
  box.clear();
  const auto names = files_.listFiles(w_.AFF_CURDIR.text(), ".BIN");
  // A folder that went away leaves the list empty and the choice as it was.
  if (!names) return false;
  if (names->empty()) return true;
  box.setText(names->front());
  for (const std::string& name : *names) box.addItem(name);
  return true;
}

std::string ImageChoice::chosenImagePath() const {
  return w_.AFF_CURDIR.text() + w_.NOM_FICHIER.text();
}

void ImageChoice::copyChoice() {
  w_.NOM_FICHIER.setText(w_.MENU_NOM_FICHIER.text());
  w_.MENU_NOM_FICHIER.setToolTip(w_.NOM_FICHIER.text());
}

}  // namespace korven
