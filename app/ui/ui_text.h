// The texts the user sees: the string resources by id, and the dialog templates' texts.
// The resource script holds the same texts; a test keeps the two in step. Texts are CP932.
#pragma once

#include <string>

#include "platform/types.h"

namespace qx {

// A string resource's text; "" for an id the program does not have.
const std::string& UiString(UINT id);

// The texts of the dialog templates, for shells that draw no templates of their own.
struct DialogTexts {
  const char* confirmTitle;
  const char* confirmText;
  const char* confirmNote;
  const char* driversTitle;
  const char* driversText;
  const char* keepDrivers;
  const char* deleteDrivers;
  const char* progressTitle;
  const char* cancelButton;
};
const DialogTexts& TemplateTexts();

// Message-box captions.
inline constexpr const char* kCaptionApp = "Qorvex Eraser";
inline constexpr const char* kCaptionFinished = "Qorvex Eraser 終了";
inline constexpr const char* kCaptionAborted = "Qorvex Eraser 中止";
inline constexpr const char* kCaptionWhatIf = "Qorvex Eraser 確認のみ（変更なし）";

}  // namespace qx
