// A tree read, with its TL line and links, made into a record's fields.
#include <algorithm>
#include <iterator>
#include <utility>

#include "converter/BracketedTreeReader.h"
#include "converter/TreeText.h"
#include "text/NumberText.h"

using namespace tree_text;

namespace {

// The labels the record's lines start with, where they are built here.
constexpr std::string_view kConstSeqLabel = "ConstSeq: ";
constexpr std::string_view kAlignmentOpen = "Alignment: (";

// The fields of a whole record, as ExampleRecordView::Complete counts them.
constexpr std::size_t kRecordFields = 6;

// A link number of more digits might not fit an int.
constexpr std::ptrdiff_t kMostLinkDigits = 9;
// "(i,j)" and the "," after it.
constexpr std::size_t kMostLinkBytes = 2 * kMostDecimalBytes + 4;

// Reads the decimal digits from `at` on, leaving `at` after them: their
// number, or -1 for none or too many.
int LinkNumber(const char*& at, const char* end) {
  const char* const first = at;
  unsigned long long value = 0;
  for (; at < end; ++at) {
    // One comparison: bytes below '0' wrap round to large numbers.
    const unsigned digit = static_cast<unsigned char>(*at) - unsigned{'0'};
    if (digit > 9) break;
    value = value * 10 + digit;
  }
  return at == first || at - first > kMostLinkDigits ? -1
                                                     : static_cast<int>(value);
}

// The words of `text` as the readers split it: runs of anything but " ".
// A word starts at the first byte, or wherever a blank is followed by
// something else; counted without a branch, which the compiler can do many
// bytes at a time.
std::size_t CountBlankSeparated(std::string_view text) {
  if (text.empty()) return 0;
  std::size_t words = text[0] != ' ';
  for (std::size_t i = 1; i < text.size(); ++i) {
    words += static_cast<std::size_t>(text[i - 1] == ' ') &
             static_cast<std::size_t>(text[i] != ' ');
  }
  return words;
}

std::string Words(std::size_t count) {
  return Decimal(count) + (count == 1 ? " word" : " words");
}

}  // namespace

Status BracketedTreeReader::MakeAlignment(std::string_view alignment,
                                          std::size_t words,
                                          std::size_t tlWords,
                                          std::size_t number) {
  const auto badLink = [number](std::string reason) {
    return Status::SentenceFailure(StatusCode::kMalformedLink,
                                   std::move(reason), number);
  };
  links_.clear();
  const char* at = alignment.data();
  const char* const end = at + alignment.size();
  while (at < end) {
    if (IsSpace(*at)) {
      ++at;
      continue;
    }
    const char* const start = at;
    int slAt = LinkNumber(at, end);
    int tlAt = -1;
    if (at < end && *at == '-') tlAt = LinkNumber(++at, end);
    if (at < end && !IsSpace(*at)) {
      slAt = -1;
      while (at < end && !IsSpace(*at)) ++at;
    }
    if ((slAt < 0) | (tlAt < 0) | (static_cast<std::size_t>(slAt) >= words) |
        (static_cast<std::size_t>(tlAt) >= tlWords)) {
      const std::string link(start, static_cast<std::size_t>(at - start));
      if (slAt < 0 || tlAt < 0) {
        return badLink("malformed link \"" + link + "\"");
      }
      if (static_cast<std::size_t>(slAt) >= words) {
        return badLink("link " + link +
                       " is past the end of the SL sentence of " +
                       Words(words));
      }
      Status beyond =
          badLink("link " + link + " is past the end of the TL sentence of " +
                  Words(tlWords));
      beyond.Position = tlAt + 1;
      return beyond;
    }
    // One number sorts by SL then TL position; the record counts from 1.
    links_.push_back(std::uint64_t{static_cast<std::uint32_t>(slAt) + 1} << 32 |
                     (static_cast<std::uint32_t>(tlAt) + 1));
  }
  // Aligners mostly write links in order.
  if (!std::is_sorted(links_.begin(), links_.end())) {
    std::sort(links_.begin(), links_.end());
  }
  links_.erase(std::unique(links_.begin(), links_.end()), links_.end());

  alignmentLine_.Assign(kAlignmentOpen);
  char* out = alignmentLine_.Room(kMostLinkBytes * links_.size() + 1);
  for (const std::uint64_t link : links_) {
    *out++ = '(';
    out = PutDecimal(out, static_cast<std::uint32_t>(link >> 32));
    *out++ = ',';
    out = PutDecimal(out, static_cast<std::uint32_t>(link));
    *out++ = ')';
    *out++ = ',';
  }
  // The last link's "," becomes the closing ")", or it follows the "(".
  if (links_.empty()) ++out;
  out[-1] = ')';
  alignmentLine_.End(out);
  return Status();
}

Status BracketedTreeReader::MakeRecord(std::string_view tl,
                                       std::string_view alignment,
                                       std::size_t number,
                                       ExampleRecordView& record, int& depth) {
  if (!problem_.empty()) {
    return Status::SentenceFailure(StatusCode::kMalformedSentence, problem_,
                                   number);
  }
  std::size_t root = 0;
  std::string_view cStructure;
  std::string_view sl;
  std::size_t words = words_;
  if (simple_ && !nodes_.empty()) {
    // Every node is kept: the tree as read is the record's, once the
    // wrappers (each over one child, which comes right after it) are off.
    while (!nodes_[root].WordSize && nodes_[root].Children == 1 &&
           IsWrapperLabel(Text(nodes_[root].Label, nodes_[root].LabelSize))) {
      ++root;
    }
    cStructure = cs_.View();
    if (root > 0) {
      cStructure_.Assign("C-Structure:");
      cStructure_.Append(cStructure.substr(
          nodes_[root].OutBegin, nodes_[root].OutEnd - nodes_[root].OutBegin));
      cStructure = cStructure_.View();
    }
    sl = sl_.View();
    depth = static_cast<int>(deepest_ - root);
    if (nodes_[root].LabelSize == 0) {
      return Status::SentenceFailure(StatusCode::kMalformedSentence, kNoLabel,
                                     number);
    }
  } else {
    Status rebuilt = Rebuild(number, root, cStructure, sl, depth);
    if (!rebuilt) return rebuilt;
    words = 0;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      words += nodes_[i].WordSize && depth_[i] != 0;
    }
  }

  const Node& top = nodes_[root];
  const std::string_view rootLabel = Text(top.Label, top.LabelSize);
  type_.Assign("Type: ");
  type_.Append(rootLabel);
  constSeq_.Assign(kConstSeqLabel);
  if (top.WordSize) constSeq_.Append(rootLabel);
  for (std::size_t i = root + 1; i < nodes_.size(); ++i) {
    const Node& node = nodes_[i];
    if (static_cast<std::size_t>(node.Parent) != root ||
        (!simple_ && depth_[i] == 0)) {
      continue;
    }
    if (constSeq_.Size() > kConstSeqLabel.size()) constSeq_.Append(' ');
    constSeq_.Append(Text(node.Label, node.LabelSize));
  }

  Status linked =
      MakeAlignment(alignment, words, CountBlankSeparated(tl), number);
  if (!linked) return linked;
  tlLine_.Assign("TL: ");
  tlLine_.Append(tl);

  record = {sl,
            tlLine_.View(),
            alignmentLine_.View(),
            type_.View(),
            cStructure,
            constSeq_.View(),
            kRecordFields,
            number,
            0,
            {}};
  // Every line must read back, by the readers' own limit.
  const std::pair<const char*, std::string_view> lines[] = {
      {"SL", record.SL},
      {"TL", record.TL},
      {"Alignment", record.Alignment},
      {"Type", record.Type},
      {"C-Structure", record.CStructure},
      {"ConstSeq", record.ConstSeq}};
  static_assert(std::size(lines) == kRecordFields);
  for (const auto& [name, line] : lines) {
    if (line.size() > kLongestLine) {
      return Status::SentenceFailure(
          StatusCode::kMalformedSentence,
          std::string("its ") + name +
              " line would be longer than 99,999 bytes",
          number);
    }
  }
  return Status();
}
