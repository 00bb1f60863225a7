// One byte range of the package fetched with a ranged GET and written at its own
// offsets into the shared package file, on a thread of its own.
#pragma once

#include <cstdint>
#include <string>

#include "download/download_status.h"
#include "platform/output_file.h"

// The package file the transfers write: opened by CDownloadManager::Start, written
// under fileLock, closed by the worker.
extern platform::OutputFile* outputFile;

class SegmentSplit;

// How a transfer meets a line that lets it down. The defaults are one attempt and
// no check of the total, which is what a bare DownloadRange does.
struct TransferOptions {
  // Further attempts after the connection broke, timed out or the server was busy
  // (5xx, 408, 429); each resumes at the first byte not yet written.
  int retries = 0;
  // The pause before the first further attempt; each later pause doubles (to 30 s).
  uint32_t firstPauseMs = 1000;
  // The package size a 206 answer's Content-Range must name; -1: not checked.
  int64_t total = -1;
  // A download in several ranges at once (segment_split.h): what they share, and
  // which range this is (0: the first, which takes over the rest when the split is
  // dropped). Null for a download in one range. A split needs total.
  SegmentSplit* split = nullptr;
  int index = 0;
};

// One range for one transfer thread, which owns it and deletes it when done.
struct DownloadSegment {
  int64_t start;
  int64_t end;  // inclusive
  std::u16string url;
  int (*progress)(ProgressReport*);
  TransferOptions options;
};

uint32_t SegmentThreadProc(void* param);
int DownloadRange(ICancelRequest& cancel, const std::u16string& url, int64_t first, int64_t last,
                  int (*progress)(ProgressReport*), const TransferOptions& options = TransferOptions());
// The pause before further attempt number retry + 1 (retry counts from 0).
uint32_t RetryPauseMs(uint32_t firstPauseMs, int retry);
