// The texts the installer window shows. Each comes from the section UISTRING of
// the string file beside the executable, with a built-in English default, so that
// a vendor can translate or reword the window by shipping another file.
#pragma once

#include <cstdint>
#include <string>

// The file's name (beside the executable) and its one section.
constexpr const char16_t* kUiStringFileName = u"ZarnWebInstallerString.ini";
constexpr const char16_t* kUiStringSection = u"UISTRING";

// The fourteen texts. The key in the file is the identifier's own name.
enum UiStringId {
  IDS_TEXT_CANCEL,
  IDS_DOWNLOAD_PROBLEM,
  IDS_DOWNLOAD_PROBLEM_RLINK,
  IDS_STATUS_INIT,
  IDS_STATUS_DOWNLOADING,
  IDS_STATUS_DOWNLOADDONE,
  IDS_STATUS_DOWNLOAD_CANCELLING,
  IDS_STATUS_DOWNLOAD_CANCELLED,
  IDS_STATUS_DOWNLOAD_FAILED,
  IDS_STATUS_CLEANUP_FILES,
  IDS_STATUS_PREPARE_INSTALL,
  IDS_STATUS_INSTALLING,
  IDS_STATUS_FINISHED,
  IDS_MESSAGE_CANCELNOTICE,
  kUiStringCount
};

struct UiString {
  const char16_t* key;
  const char16_t* defaultText;
};

// Key and built-in default of a text; id must be below kUiStringCount.
const UiString& GetUiStringEntry(UiStringId id);

// The text of key from the string file at iniPath, or defaultText when the file,
// the section or the key is missing; at most 259 characters. The file is read
// again at every call, so a changed file shows at once.
std::u16string GetUiString(const std::u16string& key, const std::u16string& defaultText,
                           const std::u16string& iniPath);
std::u16string GetUiString(UiStringId id, const std::u16string& iniPath);

// The text for a status code (InstallStatus, 1 to 10). A code outside that range
// has no text: false, and text is left as it was.
bool GetStatusUiStringId(int32_t status, UiStringId& id);
bool GetStatusUiString(int32_t status, const std::u16string& iniPath, std::u16string& text);
