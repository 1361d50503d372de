#include "core/batch.h"

#include <charconv>
#include <memory>

#include "core/batch_run.h"
#include "core/program.h"

namespace kartiva {
namespace {

// How often an instance tries to meet the others before it does its file alone: each try either
// hands the file over or becomes the first, unless another instance just took that place.
constexpr int kMeetingTries = 20;

constexpr const char* kLostReport =
    "Run-time error:\n\nThe instance that took over this file ended while it was doing it. The "
    "file may or may not have been taken in: look before you start it again.";

struct HandOverResult {
  enum class End { NoFirst, NotTaken, Lost, Told, Unshown } end;
  int status = 0;
  std::vector<std::string> failures{};  // told, and not shown yet at End::Unshown
};

std::optional<int> StatusIn(std::string_view message) {
  constexpr std::string_view kPrefix = "status ";
  if (message.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  message.remove_prefix(kPrefix.size());
  int status = -1;
  const auto [end, error] =
      std::from_chars(message.data(), message.data() + message.size(), status);
  if (error != std::errc() || end != message.data() + message.size()) return std::nullopt;
  if (status < 0 || status > 2) return std::nullopt;
  return status;
}

// Hands the file (or the report of its failures) to the first instance, if one listens, and waits
// for its status, and after failures until they have been shown. A file whose first instance is
// gone before it started the file is not taken; one it started is lost; failures it told and did
// not show are unshown.
HandOverResult HandOverFile(BatchEndpoint& endpoint, const HandedOver& handed) {
  using End = HandOverResult::End;
  const std::unique_ptr<FirstInstanceLink> link = endpoint.Connect();
  if (!link) return {End::NoFirst};
  if (!link->HandOver(HandOverOf(handed))) return {End::NotTaken};
  const bool report = !handed.failures.empty();
  bool started = false;
  std::optional<int> status;
  std::vector<std::string> failures;
  while (const std::optional<std::string> message = link->NextMessage()) {
    if (*message == "started") started = true;
    if (std::optional<std::string> failure = FailureIn(*message)) {
      failures.push_back(std::move(*failure));
    }
    if (!status) status = StatusIn(*message);
    if (status && failures.empty()) return {End::Told, *status};
    if (*message == "shown" && (status || report)) {
      return {End::Told, report ? kFailureShown : *status};
    }
  }
  if (report) return {End::Unshown, kFailureShown, handed.failures};
  if (status) return {End::Unshown, *status, std::move(failures)};
  return {started ? End::Lost : End::NotTaken};
}

// The first instance of a batch; with `failures`, its own file was done by a first instance that
// ended before it showed them, and the form is loaded only for files that other instances bring.
int RunFirst(Runtime& runtime, std::unique_ptr<BatchListener> listener, const BatchTexts& texts,
             const std::function<void()>& loadForm, const BatchClock& now,
             const std::vector<std::string>& failures) {
  BatchRun batch(runtime, std::move(listener), texts, now);
  if (!failures.empty() && !batch.ReportOwn(failures)) return batch.ShowReports();
  runtime.files = &batch;
  const std::optional<std::string> failure = LoadForm(loadForm);
  const int status = batch.Finish(failure);
  runtime.files = nullptr;
  return status;
}

int RunAlone(Runtime& runtime, const std::function<void()>& loadForm) {
  SingleFileQueue file(runtime.program.commandLine);
  runtime.files = &file;
  const int status = RunForm(runtime, loadForm);
  runtime.files = nullptr;
  return status;
}

}  // namespace

std::optional<std::string> SingleFileQueue::NextFile() {
  if (given_) return std::nullopt;
  given_ = true;
  return path_;
}

int RunBatch(Runtime& runtime, BatchEndpoint& endpoint, const BatchTexts& texts,
             const std::function<void()>& loadForm, const BatchClock& now) {
  using End = HandOverResult::End;
  HandedOver handed{.path = runtime.program.commandLine};
  const auto canMeet = [&] {
    return !handed.path.empty() && HandOverOf(handed).size() <= kLongestHandedPath;
  };
  for (int tries = 0; canMeet() && tries < kMeetingTries; ++tries) {
    HandOverResult handOver = HandOverFile(endpoint, handed);
    if (handOver.end == End::Told) return handOver.status;
    if (handOver.end == End::Lost) return ReportFailure(runtime, kLostReport);
    // Failures that nobody has shown yet go to whoever is first now, or are shown here.
    if (handOver.end == End::Unshown) {
      handed.failures = std::move(handOver.failures);
      continue;
    }
    BatchEndpoint::Listening listening = endpoint.Listen();
    if (listening.listener) {
      return RunFirst(runtime, std::move(listening.listener), texts, loadForm, now,
                      handed.failures);
    }
    if (!listening.taken) break;
  }
  if (!handed.failures.empty()) {
    return RunFirst(runtime, nullptr, texts, loadForm, now, handed.failures);
  }
  return RunAlone(runtime, loadForm);
}

std::string FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      constexpr std::string_view kDigits = "0123456789ABCDEF";
      shown.append("\\x").append(1, kDigits[byte >> 4]).append(1, kDigits[byte & 0xF]);
    }
  }
  return shown;
}

}  // namespace kartiva
