#include "app/cli/Output.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace korven::cli {
namespace {

bool jsonErrors = false;
Verbosity level = Verbosity::Normal;

}  // namespace

void setVerbosity(Verbosity l) {
  level = l;
}

Verbosity verbosity() {
  return level;
}

void setJsonErrors(bool on) {
  jsonErrors = on;
}

int failShown(int code, const std::string& text) {
  if (jsonErrors) {
    const QJsonObject error{{"error", QString::fromLatin1(text)}, {"exit", code}};
    std::printf("%s\n", QJsonDocument(error).toJson(QJsonDocument::Compact).constData());
  }
  return code;
}

int fail(int code, const std::string& text) {
  warn(text);
  return failShown(code, text);
}

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g s", seconds);
  return text;
}

void warn(const std::string& text) {
  std::fprintf(stderr, "korven-cli: %s\n", text.c_str());
}

void note(const std::string& text) {
  if (level != Verbosity::Quiet) warn(text);
}

}  // namespace korven::cli
