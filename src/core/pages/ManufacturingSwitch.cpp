// SPDX-License-Identifier: GPL-2.0-or-later
#include "pages/ManufacturingSwitch.h"

#include <fstream>
#include <iterator>
#include <optional>

namespace kelvo::pages {
namespace {

constexpr std::string_view kSection = "[Manufacture5521]";
constexpr std::string_view kKey = "Enable5521=";
constexpr std::size_t kLineLimit = 63;

// Hands out the file's text in lines of at most kLineLimit characters, each with its line
// break when it fits.
class LineReader {
 public:
  explicit LineReader(std::string text) : text_(std::move(text)) {}

  std::optional<std::string> Next() {
    if (position_ >= text_.size()) return std::nullopt;
    std::string line;
    while (position_ < text_.size() && line.size() < kLineLimit) {
      const char c = text_[position_++];
      line += c;
      if (c == '\n') break;
    }
    return line;
  }

 private:
  std::string text_;
  std::size_t position_ = 0;
};

// CR LF reads as one line break, as a text stream on Windows gives it.
std::string WithPlainLineBreaks(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
    text += raw[i];
  }
  return text;
}

bool Skipped(const std::string& line) { return line == "\n" || line.front() == ' '; }

}  // namespace

std::string ManufacturingFilePath(std::string_view settingsPath) {
  return std::string(settingsPath) + std::string(kManufacturingFileName);
}

bool ManufacturingEnabled(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  LineReader lines(WithPlainLineBreaks(
      std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>())));

  std::optional<std::string> line;
  do {
    line = lines.Next();
    if (!line) return false;
  } while (!line->starts_with(kSection));

  do {
    line = lines.Next();
    if (!line) return false;
  } while (Skipped(*line));

  if (!line->starts_with(kKey)) return false;
  // The last character is taken for the line break, whatever it is.
  const std::string_view value = std::string_view(*line).substr(kKey.size());
  return !value.empty() && value.substr(0, value.size() - 1) == "1";
}

}  // namespace kelvo::pages
