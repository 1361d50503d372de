#include "core/batch_run.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "core/program.h"

namespace kartiva {
namespace {

std::string WithoutTrailingBreaks(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

}  // namespace

BatchRun::BatchRun(Runtime& runtime, std::unique_ptr<BatchListener> listener,
                   const BatchTexts& texts, BatchClock now)
    : runtime_(runtime), listener_(std::move(listener)), texts_(texts), now_(std::move(now)) {
  waiting_.push_back({runtime.program.commandLine, nullptr});
  namesHeld_ = runtime_.components.HoldConfirmations();
}

bool BatchRun::ReportOwn(const std::vector<std::string>& failures) {
  File own = std::move(waiting_.front());
  waiting_.pop_front();
  done_.push_back(Reported(std::move(own.path), nullptr, failures));
  ownStatus_ = kFailureShown;
  // Those who lost the same first instance come at about the same moment.
  std::size_t arrived = 0;
  do {
    arrived = done_.size() + waiting_.size();
    Take(kSettleTime);
  } while (done_.size() + waiting_.size() > arrived);
  return !waiting_.empty();
}

std::optional<std::string> BatchRun::NextFile() {
  FinishCurrent(kDone);
  if (!start_) start_ = now_();
  Take(std::chrono::milliseconds(0));
  if (waiting_.empty()) static_cast<void>(AwaitStraggler(SomethingToShow()));
  if (waiting_.empty() || cancelAsked_) return std::nullopt;
  if (CancelAsked()) {
    cancelAsked_ = true;
    return std::nullopt;
  }
  current_ = std::move(waiting_.front());
  waiting_.pop_front();
  if (current_->waiter) current_->waiter->Tell("started");
  return current_->path;
}

bool BatchRun::Collect(const MsgBoxRequest& box) {
  if (!current_) return false;
  current_->failures.push_back(box);
  return true;
}

bool BatchRun::AlreadyTold(const MsgBoxRequest& box) {
  if (!current_) return false;
  if (std::find(told_.begin(), told_.end(), box) != told_.end()) return true;
  told_.push_back(box);
  return false;
}

// Takes what arrives within `wait`, and then whatever is there already.
void BatchRun::Take(std::chrono::milliseconds wait) {
  if (!listener_) return;
  for (std::optional<Arrival> arrival = listener_->NextArrival(wait); arrival;
       arrival = listener_->NextArrival(std::chrono::milliseconds(0))) {
    Add(std::move(*arrival));
  }
}

// A file to be done waits its turn; a report is done with and only to be shown.
void BatchRun::Add(Arrival arrival) {
  std::optional<HandedOver> handed = ReadHandOver(arrival.path);
  if (!handed) return;
  if (handed->failures.empty()) {
    waiting_.push_back({std::move(handed->path), std::move(arrival.waiter)});
  } else {
    done_.push_back(Reported(std::move(handed->path), std::move(arrival.waiter), handed->failures));
  }
}

BatchRun::File BatchRun::Reported(std::string path, std::unique_ptr<WaiterLink> waiter,
                                  const std::vector<std::string>& failures) const {
  File file{.path = std::move(path), .waiter = std::move(waiter), .reported = true};
  for (const std::string& failure : failures) {
    file.failures.push_back({.text = failure, .title = runtime_.program.title});
  }
  return file;
}

// Waits for the next file of the selection while an instance is still on its way to this one,
// and with `settle` also for the settle time: the file manager starts every instance at once, but
// on a loaded machine some take long to get here. True when one came.
bool BatchRun::AwaitStraggler(bool settle) {
  if (!listener_) return false;
  const std::chrono::steady_clock::time_point giveUp = now_() + kOnItsWayFor;
  std::chrono::milliseconds wait = settle ? kSettleTime : std::chrono::milliseconds(0);
  for (;;) {
    Take(wait);
    if (!waiting_.empty()) return true;
    if (now_() >= giveUp || !listener_->InstancesOnTheirWay()) return false;
    // The progress window stays alive meanwhile, and its Cancel works.
    if (progressShown_ && !cancelAsked_ && runtime_.ui.ShowProgress(shownProgress_)) {
      cancelAsked_ = true;
      return false;
    }
    wait = kLookAgain;
  }
}

bool BatchRun::SomethingToShow() const {
  return progressShown_ || runtime_.failureShown ||
         std::any_of(done_.begin(), done_.end(),
                     [](const File& file) { return !file.failures.empty(); });
}

// Shows the progress once the batch has run for a while; true when the user cancelled.
bool BatchRun::CancelAsked() {
  if (now_() - *start_ < kProgressAfter) return false;
  progressShown_ = true;
  const std::size_t number = done_.size() + 1;
  const std::size_t total = done_.size() + waiting_.size();
  shownProgress_ = {.title = runtime_.program.title,
                    .line = texts_.progressLine(number, total, FileNameOf(waiting_.front().path)),
                    .cancel = std::string(texts_.cancelButton),
                    .done = done_.size(),
                    .total = total};
  return runtime_.ui.ShowProgress(shownProgress_);
}

void BatchRun::Settle(File& file, int status) {
  file.told = true;
  if (!file.waiter) {
    ownStatus_ = status;
    return;
  }
  for (const MsgBoxRequest& box : file.failures) {
    file.waiter->Tell(FailedMessage(WithoutTrailingBreaks(box.text)));
  }
  file.waiter->Tell("status " + std::to_string(status));
  // Nothing follows the status of a file without failures. Letting go of the link at once frees
  // the endpoint's resources (on Windows the pipe's name outlives the listener as long as any
  // instance of it is open). A file's failures keep it until they have been shown.
  if (file.failures.empty()) file.waiter.reset();
}

// Ends the file being done with `status`, or kFailureShown where a failure was shown. Its waiter is
// told once the batch's names are confirmed, or at once where the toolkit holds none: a killed
// first instance then leaves no file it had finished in doubt.
void BatchRun::FinishCurrent(int status) {
  if (!current_) return;
  const bool failed = !current_->failures.empty() || runtime_.failureShown;
  current_->status = status == kDone && failed ? kFailureShown : status;
  if (!namesHeld_) Settle(*current_, current_->status);
  done_.push_back(std::move(*current_));
  current_.reset();
}

// Has the new names of the files done flushed, each folder once, and then tells each waiter its
// status: nothing is called done before a power cut can no longer take it. A file whose name the
// disk did not confirm is in its folder all the same, and is never called not done.
void BatchRun::ConfirmDone() {
  const std::vector<std::string> unconfirmed = runtime_.components.ConfirmHeld();
  for (File& file : done_) {
    // A report's waiter knows its outcome: it waits only for its failure to be shown.
    if (file.reported || file.told) continue;
    const bool confirmed =
        std::find(unconfirmed.begin(), unconfirmed.end(), file.path) == unconfirmed.end();
    if (!confirmed && file.status == kDone) {
      file.failures.push_back(
          {.text = std::string(texts_.notConfirmed) + HexCode(kErrStoredNotConfirmed),
           .title = runtime_.program.title});
      file.status = kFailureShown;
    }
    Settle(file, file.status);
  }
}

// The files not started end with `status`: done with, as far as the batch goes.
void BatchRun::EndWaiting(int status) {
  for (File& file : waiting_) Settle(file, status);
  if (cancelAsked_) std::move(waiting_.begin(), waiting_.end(), std::back_inserter(cancelled_));
  waiting_.clear();
}

// After the user ended the batch, the instances of the same selection that come late end the same
// way instead of starting a batch of their own.
void BatchRun::AnswerLateArrivals(int status) {
  while (AwaitStraggler(true)) EndWaiting(status);
}

int BatchRun::Finish(const std::optional<std::string>& failure) {
  const bool failedOutright = failure.has_value();
  FinishCurrent(failedOutright ? kOutrightFailure : kDone);
  ConfirmDone();
  // Before its first file, only the user's "No" to the start question ends a form on purpose.
  const bool declined =
      !failedOutright &&
      std::all_of(done_.begin(), done_.end(), [](const File& file) { return file.reported; });
  const int notStarted = failedOutright          ? kOutrightFailure
                         : runtime_.failureShown ? kFailureShown
                                                 : kDone;
  EndWaiting(notStarted);
  if (progressShown_) runtime_.ui.CloseProgress();
  if (declined || cancelAsked_) AnswerLateArrivals(notStarted);
  listener_.reset();
  ShowOutcome();
  if (failedOutright) static_cast<void>(ReportFailure(runtime_, *failure));
  TellShown();
  return ownStatus_;
}

int BatchRun::ShowReports() {
  listener_.reset();
  ShowOutcome();
  TellShown();
  return ownStatus_;
}

// A batch of one file shows the boxes a run of that file alone shows; a bigger one a summary of
// the files that did not go in, if any.
void BatchRun::ShowOutcome() {
  const std::size_t total = done_.size() + cancelled_.size();
  if (total == 1 && cancelled_.empty() && !done_.front().reported) {
    for (const MsgBoxRequest& box : done_.front().failures) runtime_.ui.Show(box);
    return;
  }
  const auto failed = static_cast<std::size_t>(std::count_if(
      done_.begin(), done_.end(), [](const File& file) { return !file.failures.empty(); }));
  const std::size_t notDone = failed + cancelled_.size();
  if (notDone > 0) MsgBox(runtime_, {.text = Summary(notDone)});
}

// The waiters of the failures shown end now; until then each could still show its own.
void BatchRun::TellShown() {
  for (File& file : done_) {
    if (file.waiter) file.waiter->Tell("shown");
    file.waiter.reset();
  }
}

std::string BatchRun::Summary(std::size_t notDone) const {
  std::vector<std::string> lines;
  for (const File& file : done_) {
    for (const MsgBoxRequest& box : file.failures) {
      lines.push_back(FileNameOf(file.path) + ": " + WithoutTrailingBreaks(box.text));
    }
  }
  for (const File& file : cancelled_) {
    lines.push_back(FileNameOf(file.path) + ": " + std::string(texts_.cancelledFile));
  }
  std::string text = texts_.summaryHeading(notDone, done_.size() + cancelled_.size());
  const std::size_t shown = lines.size() > kSummaryLines ? kSummaryLines - 1 : lines.size();
  if (shown < lines.size()) {
    const std::size_t rest = lines.size() - shown;
    lines.resize(shown);
    lines.push_back(texts_.moreLines(rest));
  }
  // Line by line: GCC 12 at -O3 takes `"\n" + line` for an overlapping copy (-Wrestrict).
  for (const std::string& line : lines) text.append("\n").append(line);
  return text;
}

}  // namespace kartiva
