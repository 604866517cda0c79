#pragma once

#include "platform/Platform.h"
#include "window/ProgPrin.h"

namespace korven {

// The yellow box: lists the folder's *.BIN images and moves the operator's
// choice into NOM_FICHIER, the name the update opens.
class ImageChoice {
 public:
  ImageChoice(ProgPrin& window, Files& files);

  // Rebuilds the list from the working folder; the first name the folder
  // lists becomes the choice. False when the folder cannot be listed.
  bool MENU_NOM_FICHIER_GotFocus();

  // The full path of the chosen image.
  std::string chosenImagePath() const;

 private:
  void copyChoice();

  ProgPrin& w_;
  Files& files_;
};

}  // namespace korven
