#pragma once

// Many files, one conversation. The file manager starts one instance of a tool per selected file,
// all at once. The instances meet through a BatchEndpoint: the first does every file in one
// toolkit session (one start question at most, one summary instead of a box per file, a progress
// window on long work); the others hand their path over, wait, and end with their file's status.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/batch_endpoint.h"
#include "core/runtime.h"

namespace kartiva {

// The batch's texts in the tool's language.
struct BatchTexts {
  // "Datei 37 von 100: <name>"
  std::string (*progressLine)(std::size_t number, std::size_t total, std::string_view name);
  // "3 von 100 Dateien wurden nicht importiert:"
  std::string (*summaryHeading)(std::size_t notDone, std::size_t total);
  // The last line of a summary cut short, for the lines left out.
  std::string (*moreLines)(std::size_t rest);
  std::string_view cancelButton;
  std::string_view cancelledFile;  // what the summary says of a file the user cancelled
  // What a file is told whose document is in, but whose new name the disk did not confirm,
  // followed by the code: "Die Datei wurde importiert, aber die Festplatte hat es nicht bestätigt:
  // "
  std::string_view notConfirmed;
};

using BatchClock = std::function<std::chrono::steady_clock::time_point()>;

// How long a batch with something to show waits for late arrivals after the last one.
inline constexpr std::chrono::milliseconds kSettleTime{500};
static_assert(std::chrono::nanoseconds(kDeclineCovers) < kSettleTime);
// How often a batch looks again whether instances are on their way while none arrives.
inline constexpr std::chrono::milliseconds kLookAgain{100};
// How long a batch runs its files before it shows its progress; the start question's time does
// not count.
inline constexpr std::chrono::milliseconds kProgressAfter{1000};
// The most lines a summary lists, a screenful.
inline constexpr std::size_t kSummaryLines = 20;

// The one file of a run that is not part of a batch: its failure boxes are shown at once.
class SingleFileQueue : public FileQueue {
 public:
  explicit SingleFileQueue(std::string path) : path_(std::move(path)) {}
  std::optional<std::string> NextFile() override;
  bool Collect(const MsgBoxRequest&) override { return false; }
  bool AlreadyTold(const MsgBoxRequest&) override { return false; }

 private:
  std::string path_;
  bool given_ = false;
};

// Runs an import or store tool's form on the file of its command line: hands the file to the
// first instance of a batch and waits for its status, or becomes the first and takes every file
// handed over, or, where no instance can meet another (an empty command line, no endpoint), does
// its file alone as RunForm does. Gives the exit status of this instance's file.
[[nodiscard]] int RunBatch(Runtime& runtime, BatchEndpoint& endpoint, const BatchTexts& texts,
                           const std::function<void()>& loadForm,
                           const BatchClock& now = std::chrono::steady_clock::now);

// A path's last part, after its last slash or backslash, as a summary or progress line shows it:
// a control character (a line break) as its escape ("\n", "\x1B"), so that a name, which is
// input from outside, can neither split a line nor add one.
std::string FileNameOf(std::string_view path);

}  // namespace kartiva
