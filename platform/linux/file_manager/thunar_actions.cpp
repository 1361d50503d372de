#include "platform/linux/file_manager/thunar_actions.h"

#include <cstddef>
#include <optional>

#include "platform/linux/file_manager/file_manager_entries.h"

namespace kartiva::linux_os {
namespace {

constexpr std::string_view kNewFile = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n";

struct Span {
  std::size_t begin;
  std::size_t end;
};

// Where the parts that a merge touches lie in uca.xml.
struct Layout {
  std::optional<Span> emptyRoot;  // an <actions/> element
  std::size_t rootClose = 0;      // where </actions> begins
  std::vector<Span> ours;         // the actions written here, in file order
};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  bool Scan(Layout& layout, std::string& problem) {
    while (position_ < text_.size()) {
      const std::size_t open = text_.find('<', position_);
      if (open == std::string_view::npos) break;
      if (IsUniqueIdOpen()) uniqueId_ += text_.substr(position_, open - position_);
      if (!Markup(open, layout)) {
        problem = problem_ + " (at byte " + std::to_string(open) + ")";
        return false;
      }
    }
    if (!rootSeen_ || !open_.empty()) {
      problem = rootSeen_ ? "the file ends inside <" + open_.back() + ">" : "no <actions> element";
      return false;
    }
    return true;
  }

 private:
  bool Fail(std::string what) {
    problem_ = std::move(what);
    return false;
  }

  bool IsUniqueIdOpen() const { return open_.size() == 3 && open_[2] == "unique-id"; }

  // Skips past `end`, which closes the construct that begins at `open`.
  bool SkipTo(std::size_t open, std::string_view end, std::string_view what) {
    const std::size_t close = text_.find(end, open);
    if (close == std::string_view::npos) return Fail(std::string(what) + " that is not closed");
    position_ = close + end.size();
    return true;
  }

  bool Markup(std::size_t open, Layout& layout) {
    const std::string_view rest = text_.substr(open);
    if (rest.starts_with("<!--")) return SkipTo(open + 4, "-->", "a comment");
    if (rest.starts_with("<![CDATA[")) return SkipTo(open, "]]>", "a CDATA section");
    if (rest.starts_with("<?")) return SkipTo(open, "?>", "a processing instruction");
    // A document type may declare entities that change what the text means.
    if (rest.starts_with("<!")) return Fail("a document type declaration");
    if (rest.starts_with("</")) return EndTag(open, layout);
    return StartTag(open, layout);
  }

  bool StartTag(std::size_t open, Layout& layout) {
    std::size_t i = open + 1;
    while (i < text_.size() && !IsNameEnd(text_[i])) ++i;
    const std::string name(text_.substr(open + 1, i - open - 1));
    if (name.empty()) return Fail("a < that starts no element");
    char quote = 0;
    for (; i < text_.size() && (quote != 0 || text_[i] != '>'); ++i) {
      if (quote != 0) {
        if (text_[i] == quote) quote = 0;
      } else if (text_[i] == '"' || text_[i] == '\'') {
        quote = text_[i];
      }
    }
    if (i == text_.size()) return Fail("a tag that is not closed");
    const bool empty = text_[i - 1] == '/';
    position_ = i + 1;
    if (open_.empty()) {
      if (rootSeen_) return Fail("a second top-level element");
      if (name != "actions") return Fail("the top-level element is <" + name + ">, not <actions>");
      rootSeen_ = true;
      if (empty) layout.emptyRoot = Span{open, position_};
    }
    if (empty) return true;
    if (open_.size() == 1 && name == "action") {
      actionBegin_ = open;
      uniqueId_.clear();
    }
    open_.push_back(name);
    return true;
  }

  bool EndTag(std::size_t open, Layout& layout) {
    const std::size_t close = text_.find('>', open);
    if (close == std::string_view::npos) return Fail("an end tag that is not closed");
    std::string_view name = text_.substr(open + 2, close - open - 2);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);
    if (open_.empty() || name != open_.back()) return Fail("an end tag that closes nothing open");
    open_.pop_back();
    position_ = close + 1;
    if (open_.empty()) layout.rootClose = open;
    if (open_.size() == 1 && name == "action" && IsOurs()) {
      layout.ours.push_back({actionBegin_, position_});
    }
    return true;
  }

  bool IsOurs() const {
    std::string_view id = uniqueId_;
    while (!id.empty() && IsBlank(id.front())) id.remove_prefix(1);
    return id.starts_with(kThunarIdPrefix);
  }

  static bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  static bool IsNameEnd(char c) { return IsBlank(c) || c == '/' || c == '>'; }

  std::string_view text_;
  std::size_t position_ = 0;
  std::vector<std::string> open_;
  bool rootSeen_ = false;
  std::size_t actionBegin_ = 0;
  std::string uniqueId_;
  std::string problem_;
};

std::string Joined(const std::vector<std::string>& actions) {
  std::string joined;
  for (const std::string& action : actions) joined += action;
  return joined;
}

}  // namespace

bool MergeThunarActions(std::string_view current, const std::vector<std::string>& actions,
                        std::string& merged, std::string& problem) {
  if (current.empty()) {
    merged = actions.empty() ? "" : std::string(kNewFile) + Joined(actions) + "</actions>\n";
    return true;
  }
  Layout layout;
  if (!Scanner(current).Scan(layout, problem)) return false;
  if (layout.emptyRoot) {
    const Span root = *layout.emptyRoot;
    merged = std::string(current);
    if (!actions.empty()) {
      merged.replace(root.begin, root.end - root.begin,
                     "<actions>\n" + Joined(actions) + "</actions>");
    }
    return true;
  }
  // Cut out the actions written before, each with the line end after it.
  merged.clear();
  std::size_t kept = 0;
  for (const Span& span : layout.ours) {
    merged.append(current.substr(kept, span.begin - kept));
    kept = span.end < current.size() && current[span.end] == '\n' ? span.end + 1 : span.end;
  }
  merged.append(current.substr(kept, layout.rootClose - kept));
  if (!actions.empty() && !merged.empty() && merged.back() != '\n') merged += '\n';
  merged += Joined(actions);
  merged.append(current.substr(layout.rootClose));
  // A file that was only ever ours, as a new one is written, goes with the last action in it.
  if (merged == std::string(kNewFile) + "</actions>\n") merged.clear();
  return true;
}

}  // namespace kartiva::linux_os
