// make_example and make_examples: the converter of a parser's trees and an
// aligner's links into records, as the make_examples program runs it.
#include <algorithm>
#include <cerrno>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "AnnotatedRecord.h"
#include "Binding.h"
#include "InputSource.h"
#include "Status.h"
#include "converter/ExampleMaker.h"
#include "converter/TreeText.h"
#include "text/NumberText.h"

namespace annotator_python {

namespace {

// A bracketed text as it stands, or an annotator.Tree written as a parser
// would write it: labels and words, no positions.
std::string TreeText(const py::handle& tree) {
  if (PyUnicode_Check(tree.ptr())) return Bytes(tree);
  std::string text;
  std::vector<long long> open;
  long long place = 0;
  for (const py::handle row : tree.attr("_flat")()) {
    const auto parent = row[py::int_(2)].cast<long long>();
    while (!open.empty() && open.back() != parent) {
      open.pop_back();
      text += ')';
    }
    text += " (" + Bytes(row[py::int_(0)]);
    const py::object word = row[py::int_(1)];
    if (word.is_none()) {
      open.push_back(place);
    } else {
      text += " " + Bytes(word) + ")";
    }
    ++place;
  }
  return text.append(open.size(), ')');
}

// The "i-j" text, or a list of 0-based (i, j) pairs written as one.
std::string LinksText(const py::handle& alignment) {
  if (PyUnicode_Check(alignment.ptr())) return Bytes(alignment);
  std::string text;
  for (const py::handle pair : alignment) {
    std::pair<long long, long long> link;
    try {
      link = pair.cast<std::pair<long long, long long>>();
    } catch (const py::cast_error&) {
      throw py::type_error(
          "alignment takes 'i-j' text or (i, j) pairs of ints, not " +
          std::string(py::repr(pair)));
    }
    // A negative position reads as the malformed link it is.
    text += Decimal(link.first) + "-" + Decimal(link.second) + " ";
  }
  return text;
}

py::object MakeExample(const py::handle& tree, const py::handle& tl,
                       const py::handle& alignment,
                       const py::handle& numberGiven, bool bareLabels) {
  // make_examples numbers its sentences from 1, and an error's record of 0
  // would read as none.
  const std::size_t number = CountFromOne(numberGiven, "number", false);
  const std::string treeText = TreeText(tree);
  const std::string tlText = Bytes(tl);
  // make_examples takes each TL sentence from a line, without its line end
  // ("\r\n" as a whole): a sentence that holds one, or ends in the "\r" of
  // one, would make a record that does not read back.
  const char* oneLine = nullptr;
  if (tlText.find('\n') != std::string::npos) {
    oneLine = "its TL sentence holds a line break";
  } else if (!tlText.empty() && tlText.back() == '\r') {
    oneLine = "its TL sentence ends in a carriage return";
  }
  if (oneLine) {
    Raise(Status::SentenceFailure(StatusCode::kMalformedSentence, oneLine,
                                  number));
  }
  const std::string links = LinksText(alignment);
  BracketedTreeReader reader;
  reader.SetBareLabels(bareLabels);
  ExampleRecordView record;
  int depth = 0;
  Status status;
  {
    LockReleased released;
    reader.ReadText(treeText);
    status = reader.MakeRecord(tlText, links, number, record, depth);
  }
  if (!status) Raise(status);
  return NewMadeExample(record);
}

// Appends each skipped sentence to `skipped` as a (number, reason) pair,
// before any error is raised, so that the caller reports them all.
std::size_t MakeExamples(const py::handle& trees, const py::handle& tl,
                         const py::handle& alignment, const py::handle& outName,
                         py::list skipped, bool bareLabels) {
  const std::string outPath = PathBytes(outName);
  // One file object read as two inputs would hand each the other's lines,
  // and the error that came of it would blame the corpus.
  const py::handle sources[] = {trees, tl, alignment};
  for (std::size_t i = 0; i < 3; ++i) {
    for (std::size_t j = i + 1; j < 3; ++j) {
      if (sources[i].is(sources[j]) && py::hasattr(sources[i], "read")) {
        throw py::value_error(
            "one file object given twice: trees, tl and alignment each "
            "need their own.");
      }
    }
  }
  // Each input reads as read() reads its source: a path or a file object,
  // waits that wake for signals, a failed read raised as OSError.
  InputSource inputs[] = {InputSource(trees), InputSource(tl),
                          InputSource(alignment)};
  const char* const roles[] = {"trees", "tl", "alignment"};
  std::string names[3];
  for (std::size_t i = 0; i < 3; ++i) {
    inputs[i].SkipByteOrderMark();
    if (inputs[i].IsFile(outPath)) {
      throw py::value_error("InFile and OutFile name the same file.");
    }
    const std::string& path = inputs[i].Path();
    names[i] = path.empty() ? roles[i] : path;
  }
  // As the program: `out` is made or emptied only once a record is about
  // to be written, or at an end that made none and skipped none, so that a
  // run whose inputs make no record (a wrong file named as an input, a
  // failed read) leaves the file named as `out` as it was.
  WholeRecordFile out(-1);
  const auto openOut = [&] {
    if (out.Fd < 0 && out.Error == 0) {
      out.Fd = OpenOutputFile(outPath);
      if (out.Fd < 0) out.Error = errno;
    }
    return out.Error == 0;
  };

  ExampleMaker maker(inputs[0].Stream(), inputs[1].Stream(), inputs[2].Stream(),
                     names[0], names[1], names[2]);
  maker.SetBareLabels(bareLabels);
  ExampleRecordView record;
  int depth = 0;
  std::size_t records = 0;
  std::vector<Status> skips;
  Status stop;
  {
    LockReleased released;
    const ClosedAtEnd closed(out);
    for (bool going = true; going;) {
      const ExampleMaker::Step step = maker.Next(record, depth);
      // A failed or interrupted read looks like the end of its file to the
      // maker: what it made of the step that met it, maybe from a line cut
      // short, is not taken.
      if (std::any_of(std::begin(inputs), std::end(inputs),
                      [](const InputSource& input) { return input.Failed(); }))
        break;
      switch (step) {
        case ExampleMaker::Step::kRecord:
          if (!openOut()) {
            going = false;
            break;
          }
          AppendAnnotatedRecord(record, depth,
                                "SentenceIndex: " + Decimal(record.Number),
                                out.Pending);
          ++records;
          going =
              out.Pending.size() < WholeRecordFile::kFlushBytes || out.Flush();
          break;
        case ExampleMaker::Step::kSkipped:
          skips.push_back(maker.Problem());
          break;
        case ExampleMaker::Step::kStopped:
          stop = maker.Problem();
          going = false;
          break;
        case ExampleMaker::Step::kEnd:
          // Inputs that hold no sentence still make an empty `out`.
          if (skips.empty()) openOut();
          going = false;
          break;
      }
    }
  }
  // A failed or interrupted read cuts its last sentence short, and that
  // sentence's skip would only echo the failure raised below.
  bool failed = false;
  for (const InputSource& input : inputs) failed = failed || input.Failed();
  for (const Status& skip : skips) {
    if (failed && skip.Record == maker.Sentences()) break;
    skipped.append(py::make_tuple(skip.Record, Text(skip.Text)));
  }
  out.RaiseIfFailed(outPath);
  // A failed or interrupted read ends its stream early, which the maker
  // takes for a file that ran short: the failure is the truer report.
  for (InputSource& input : inputs) input.RaiseIfFailed();
  if (!stop) Raise(stop);
  return records;
}

}  // namespace

void RegisterMaking(py::module_& module) {
  module.def("make_example", &MakeExample,
             "The record make_examples makes of one sentence: its tree (text "
             "or Tree), TL sentence and 0-based links (text or (i, j) pairs). "
             "The TL sentence is one line, as make_examples reads it: one "
             "that holds a line break or ends in '\\r' raises FormatError. "
             "With bare_labels, as make_examples --bare-labels, every label "
             "loses its function tags and co-indices (NP-SBJ-1 and NP=2 "
             "become NP; -NONE- and -LRB- stay whole).",
             py::arg("tree"), py::arg("tl"), py::arg("alignment"),
             py::arg("number") = 1, py::kw_only(),
             py::arg("bare_labels") = false);
  module.def("_make_examples", &MakeExamples);
  // from_nltk drops the wrappers a record drops, by the converter's rule.
  module.def("_is_wrapper_label", [](const py::handle& label) {
    return tree_text::IsWrapperLabel(Bytes(label));
  });
}

}  // namespace annotator_python
