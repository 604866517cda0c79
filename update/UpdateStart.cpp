#include "update/UpdateStart.h"

#include "image/ImageReader.h"
#include "platform/Text.h"
#include "update/Pace.h"

namespace korven {

UpdateStart::UpdateStart(ProgPrin& window, Platform& platform, const ImageChoice& images,
                         SendTable& table)
    : w_(window), platform_(platform), images_(images), table_(table) {
  w_.B_UPDATE.onClick.connect([this] { B_UPDATE_Click(); });
}

bool UpdateStart::refused(const char* message) {
  platform_.dialogs().message(message, false);
  return true;
}

void UpdateStart::holdImage(const std::string& name, ImageData image) {
  held_.emplace(name, std::move(image));
}

void UpdateStart::B_UPDATE_Click() {
  if (!w_.allTerminals() && !w_.connected()) {
    refused(kNotReady);
    return;
  }
  // Without its timer the update would send nothing and never end, the
  // window left disabled.
  if (!w_.TIM_SEND->usable() && refused(kNoSendTimer)) return;

  // The image is read, and the pace checked, before anything changes. The
  // window takes no input meanwhile: reading the leading zeros of a large
  // file lets events run, and a second click must not start a second update.
  w_.PROG_PRIN.setEnabled(false);
  const ImageData image =
      held_ && held_->first == w_.NOM_FICHIER.text()
          ? held_->second
          : readImageFile(platform_.files(), images_.chosenImagePath(), platform_.eventLoop());
  w_.PROG_PRIN.setEnabled(true);
  // An image of no data is refused as an unreadable one: the window has no
  // other word for it, and an update of no block would strand the terminal.
  if ((image.failure == ImageFailure::CannotRead || image.failure == ImageFailure::NoData) &&
      refused(kCannotReadImage)) {
    return;
  }
  if (image.failure == ImageFailure::TooLarge && refused(kImageTooLarge)) return;
  const auto pace = blockPace(w_.INP_DEL.text());
  if (!pace && refused(kInvalidDelay)) return;

  w_.LST_ALL_ERR.clear();
  w_.PROG_PRIN.setEnabled(false);
  w_.PROG_PRIN.setBackColor(w_.ROUGE.backColor());
  if (w_.TCPIP.count() == 1) {
    // Already connected is the usual case: that refusal is no failure.
    w_.TCPIP.element(0)->connect(trimmed(w_.INP_IP.text()),
                                 static_cast<int>(leadingNumber(w_.INP_PORT.text())));
  }

  const std::vector<std::string> blocks = cutIntoBlocks(image.bytes);
  unsigned checksum = kChecksumStart;
  w_.CHECK.setText(std::to_string(checksum));
  for (const std::string& block : blocks) {
    checksum = addToChecksum(checksum, block);
    w_.CHECK.setText(std::to_string(checksum));
  }
  table_.lay(blocks, static_cast<std::uint8_t>(checksum));

  w_.AFF_NO_ENV.setText("0");
  w_.TIM_SEND->setInterval(*pace);
  const int count = static_cast<int>(blocks.size());
  onStarted.raise(ImageFacts{w_.NOM_FICHIER.text(), image.bytes.size(), count,
                             static_cast<int>(checksum), *pace, image.sha256,
                             piecesOfStream(count, bootRequestGoesWhole(w_.NOM_FICHIER.text()))});
}

}  // namespace korven
