// annotator.score_patterns: score_patterns' table as Python rows, made by
// the program's own counter and scorer.
#include <optional>
#include <string>
#include <vector>

#include "Binding.h"
#include "InputSource.h"
#include "PatternExtractor.h"
#include "PatternFields.h"
#include "PatternScorer.h"

namespace annotator_python {

namespace {

// An entry as the rows take it, made without the interpreter's lock.
struct Row {
  ScoredEntry Numbers;
  std::string Fields[ScoredEntry::kFields];
};

py::list ScorePatterns(const py::handle& inSource, bool consistent,
                       const py::handle& maxWordsGiven,
                       const py::handle& smoothingGiven,
                       const py::handle& minCountGiven) {
  // 0 sets no bound, as the program's default does.
  const std::size_t maxWords = CountFromOne(maxWordsGiven, "max_words", true);
  const std::size_t minCount = CountFromOne(minCountGiven, "min_count", false);
  const char* const smoothings =
      "smoothing must be None, 'good-turing' or 'kneser-ney'";
  // The name as the program's argument holds it: text, or its bytes.
  std::optional<std::string> smoothing;
  if (PyUnicode_Check(smoothingGiven.ptr())) {
    smoothing = Bytes(smoothingGiven);
  } else if (PyBytes_Check(smoothingGiven.ptr())) {
    smoothing = smoothingGiven.cast<std::string>();
  } else if (!smoothingGiven.is_none()) {
    throw py::type_error(std::string(smoothings) + ", not " +
                         Py_TYPE(smoothingGiven.ptr())->tp_name);
  }
  ExtractOptions::Smoothing smooth = ExtractOptions::Smoothing::None;
  if (smoothing == "good-turing") {
    smooth = ExtractOptions::Smoothing::GoodTuring;
  } else if (smoothing == "kneser-ney") {
    smooth = ExtractOptions::Smoothing::KneserNey;
  } else if (smoothing) {
    throw py::value_error(smoothings);
  }
  InputSource source(inSource);
  std::vector<Row> rows;
  Status status;
  {
    LockReleased released;
    std::ostream unused(nullptr);
    TrainingExampleReader reader(source.Stream(), unused);
    PatternExtractor extractor(consistent, maxWords);
    PatternScorer scorer;
    ExampleRecordView record;
    while (reader.NextRecordView(record)) {
      status = extractor.ForEachPatternFields(
          record, [&scorer](const ExtractedPattern& pattern) {
            scorer.Add(pattern);
            return true;
          });
      if (!status) break;
      scorer.AddRecord(record);
    }
    if (status) status = reader.ReadStatus();
    if (status && !source.Failed()) {
      scorer.Score(smooth);
      scorer.ForEachEntry(minCount, [&rows](const ScoredEntry& entry) {
        Row& row = rows.emplace_back();
        row.Numbers = entry;
        for (int i = 0; i < ScoredEntry::kFields; ++i) {
          AppendUnescaped(entry.Fields[i], row.Fields[i]);
          row.Numbers.Fields[i] = {};
        }
        return true;
      });
    }
  }
  source.RaiseIfFailed();
  if (!status) Raise(status);
  const py::object type =
      py::module_::import("annotator._annotator").attr("ScoredPattern");
  py::list table(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const ScoredEntry& n = row.Numbers;
    const auto field = [&row](int at) { return Text(row.Fields[at]); };
    table[i] =
        type(n.Count, n.SourceCount, n.TargetCount, n.TLGivenSL, n.LexTLGivenSL,
             n.SLGivenTL, n.LexSLGivenTL, field(ScoredEntry::kType),
             field(ScoredEntry::kSL), field(ScoredEntry::kTL),
             field(ScoredEntry::kAlignment), field(ScoredEntry::kCStructure),
             field(ScoredEntry::kConstSeq), field(ScoredEntry::kScore),
             field(ScoredEntry::kConstraints));
  }
  return table;
}

}  // namespace

void RegisterScoring(py::module_& module) {
  py::object scored =
      py::module_::import("collections")
          .attr("namedtuple")(
              "ScoredPattern",
              py::make_tuple("count", "source_count", "target_count",
                             "p_tl_given_sl", "lex_tl_given_sl",
                             "p_sl_given_tl", "lex_sl_given_tl", "type",
                             "sl_words", "tl_words", "alignment", "c_structure",
                             "const_seq", "score", "x_side_constraints"));
  scored.attr("__module__") = "annotator";
  scored.attr("__doc__") =
      "One entry of score_patterns' table: the counts, both probabilities and "
      "both lexical weights of a pair of SL side and TL words, then the "
      "pattern's fields.";
  module.attr("ScoredPattern") = scored;
  module.def("score_patterns", &ScorePatterns, py::arg("source"), py::kw_only(),
             py::arg("consistent") = false, py::arg("max_words") = py::none(),
             py::arg("smoothing") = py::none(), py::arg("min_count") = 1,
             "The rows of score_patterns' table for `source`, in its order.");
}

}  // namespace annotator_python
