#include "config/ui_strings.h"

#include "platform/profile.h"

namespace {

const UiString kUiStrings[kUiStringCount] = {
    {u"IDS_TEXT_CANCEL", u"Cancel"},
    {u"IDS_DOWNLOAD_PROBLEM", u"Problems downloading?"},
    {u"IDS_DOWNLOAD_PROBLEM_RLINK", u"http://www.zarnsoft.example/download-help"},
    {u"IDS_STATUS_INIT", u"Initializing..."},
    {u"IDS_STATUS_DOWNLOADING", u"Downloading..."},
    {u"IDS_STATUS_DOWNLOADDONE", u"Download completed."},
    {u"IDS_STATUS_DOWNLOAD_CANCELLING", u"Cancelling..."},
    {u"IDS_STATUS_DOWNLOAD_CANCELLED", u"Download cancelled."},
    {u"IDS_STATUS_DOWNLOAD_FAILED", u"Download failed."},
    {u"IDS_STATUS_CLEANUP_FILES", u"Cleaning up temp files..."},
    {u"IDS_STATUS_PREPARE_INSTALL", u"Preparing installation..."},
    {u"IDS_STATUS_INSTALLING", u"Installing..."},
    {u"IDS_STATUS_FINISHED", u"Finished."},
    {u"IDS_MESSAGE_CANCELNOTICE", u"Are you sure you want to cancel downloading?"},
};

// Status codes 1..10 in order; the code is the index + 1.
const UiStringId kStatusTexts[10] = {
    IDS_STATUS_INIT,           IDS_STATUS_DOWNLOADING,        IDS_STATUS_DOWNLOADDONE,
    IDS_STATUS_DOWNLOAD_CANCELLING, IDS_STATUS_DOWNLOAD_CANCELLED, IDS_STATUS_DOWNLOAD_FAILED,
    IDS_STATUS_CLEANUP_FILES,  IDS_STATUS_PREPARE_INSTALL,    IDS_STATUS_INSTALLING,
    IDS_STATUS_FINISHED,
};

}  // namespace

const UiString& GetUiStringEntry(UiStringId id) { return kUiStrings[id]; }

std::u16string GetUiString(const std::u16string& key, const std::u16string& defaultText,
                           const std::u16string& iniPath) {
  return platform::ReadProfileString(kUiStringSection, key, defaultText, iniPath);
}

std::u16string GetUiString(UiStringId id, const std::u16string& iniPath) {
  if (id < 0 || id >= kUiStringCount) return {};
  return GetUiString(kUiStrings[id].key, kUiStrings[id].defaultText, iniPath);
}

bool GetStatusUiStringId(int32_t status, UiStringId& id) {
  if (status < 1 || status > 10) return false;
  id = kStatusTexts[status - 1];
  return true;
}

bool GetStatusUiString(int32_t status, const std::u16string& iniPath, std::u16string& text) {
  UiStringId id;
  if (!GetStatusUiStringId(status, id)) return false;
  text = GetUiString(id, iniPath);
  return true;
}
