#pragma once

// The first instance of a batch: the queue of files that its form works through.

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/batch.h"
#include "core/program.h"

namespace kartiva {

class BatchRun final : public FileQueue {
 public:
  // Starts with the file of this instance's own command line.
  BatchRun(Runtime& runtime, std::unique_ptr<BatchListener> listener, const BatchTexts& texts,
           BatchClock now);

  // The own file was done by a first instance that ended before it showed its `failures`: they
  // are only to be shown. Takes the files and reports that arrive meanwhile; true when files to
  // be done came, for which the form is to be loaded.
  bool ReportOwn(const std::vector<std::string>& failures);
  // Ends a batch of reports alone, without a form: shows their failures.
  [[nodiscard]] int ShowReports();

  // Ends the file before (telling its waiter the status) and gives the next: one handed over,
  // or, once none is left, one whose instance is still on its way, or one that arrives within the
  // settle time when the batch has something to show. None when the queue is empty or the user
  // cancelled.
  std::optional<std::string> NextFile() override;
  bool Collect(const MsgBoxRequest& box) override;
  bool AlreadyTold(const MsgBoxRequest& box) override;

  // Ends the batch once its form has ended, by an outright failure with its report or otherwise:
  // has the names of the files done confirmed as a group, and only then tells every waiter its
  // status (a status 0 promises a document that survives a power cut), stops listening and shows
  // the outcome. Gives the status of this instance's own file.
  [[nodiscard]] int Finish(const std::optional<std::string>& failure);

 private:
  struct File {
    std::string path;
    std::unique_ptr<WaiterLink> waiter;  // none for the own file
    std::vector<MsgBoxRequest> failures{};
    bool reported = false;  // done by a first instance that ended before it showed the failures
    bool told = false;      // its waiter knows its status
    int status = kDone;     // once done, told after the batch's names are confirmed
  };

  void Take(std::chrono::milliseconds wait);
  void Add(Arrival arrival);
  File Reported(std::string path, std::unique_ptr<WaiterLink> waiter,
                const std::vector<std::string>& failures) const;
  bool AwaitStraggler(bool settle);
  bool SomethingToShow() const;
  bool CancelAsked();
  void Settle(File& file, int status);
  void FinishCurrent(int status);
  void ConfirmDone();
  void EndWaiting(int status);
  void AnswerLateArrivals(int status);
  void ShowOutcome();
  void TellShown();
  std::string Summary(std::size_t notDone) const;

  Runtime& runtime_;
  std::unique_ptr<BatchListener> listener_;
  const BatchTexts& texts_;
  BatchClock now_;
  std::optional<std::chrono::steady_clock::time_point> start_;  // of the first file
  std::deque<File> waiting_;
  std::optional<File> current_;
  std::vector<File> done_;
  std::vector<File> cancelled_;      // left undone because the user cancelled
  std::vector<MsgBoxRequest> told_;  // the messages shown while doing a file
  int ownStatus_ = 0;
  bool progressShown_ = false;
  ProgressRequest shownProgress_;  // what the progress window shows
  bool cancelAsked_ = false;
  bool namesHeld_ = false;  // statuses wait for the names to be confirmed
};

}  // namespace kartiva
