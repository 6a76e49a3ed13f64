// What an example of a file offers in Python (its fields, tree, score) and
// what extraction makes of it (its patterns); reading them is Reading.cpp.
#include "Examples.h"

#include <charconv>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "AnnotatedRecord.h"
#include "Binding.h"
#include "LineUp.h"
#include "ParseParser.h"
#include "PatternExtractor.h"
#include "Status.h"
#include "TrainingExampleReader.h"
#include "records/AlignmentLinks.h"
#include "text/SplitText.h"

namespace annotator_python {

namespace {

// The SL words and tags as the sentence pair splits them; a token whose
// word is empty ("/x") gives neither.
void SplitSL(std::string_view sentence, std::vector<std::string_view>& words,
             std::vector<std::string_view>& tags) {
  ForEachSLToken(sentence, [&](std::string_view word, std::string_view tag,
                               bool /*tagged*/) {
    if (word.empty()) return;
    words.push_back(word);
    tags.push_back(tag);
  });
}

std::vector<std::string_view> SplitTL(std::string_view sentence) {
  std::vector<std::string_view> words;
  ForEachSentenceToken(sentence,
                       [&](std::string_view word) { words.push_back(word); });
  return words;
}

py::list TextList(const std::vector<std::string_view>& items) {
  py::list list;
  for (std::string_view item : items) list.append(Text(item));
  return list;
}

// The alignment links as the sentence pair maps them: each SL word's TL
// positions, once each, ascending.
py::list Alignment(const Example& example) {
  std::vector<std::string_view> words, tags;
  SplitSL(FieldValue(example.Record.SL), words, tags);
  std::vector<std::pair<int, int>> links;
  const Status status =
      CollectLinks(FieldValue(example.Record.Alignment), words.size(),
                   SplitTL(FieldValue(example.Record.TL)).size(), links);
  if (!status) Raise(example.At(status, kAlignmentOffset));
  py::list pairs;
  for (const auto& [sl, tl] : links) pairs.append(py::make_tuple(sl, tl));
  return pairs;
}

// Below this a tree is scanned faster than the lock passes between threads
// (a 300-byte tree takes about 150 ns, less than the call around it), so
// it is scanned with the lock held.
constexpr std::size_t kScanWithoutLock = 4096;

int Score(const Example& example) {
  thread_local CStructureReader reader;
  const std::string& tree = example.Record.CStructure;
  CStructureReading reading;
  if (tree.size() < kScanWithoutLock) {
    reading = reader.MeasureDepth(tree);
  } else {
    LockReleased released;
    reading = reader.MeasureDepth(tree);
  }
  if (!reading.Ok) Raise(example.At(reading.ToStatus(), kCStructureOffset));
  return reading.Depth;
}

py::object ExampleTree(Example& example) {
  if (!example.Parsed) {
    auto parser = std::make_shared<ParseParser>();
    // From the line's first "(", as the extractor reads it.
    const std::string_view value = example.Record.CStructure;
    const std::size_t open = value.find('(');
    Status status;
    {
      LockReleased released;
      status = open == std::string_view::npos
                   ? Status::MalformedCStructure(value)
                   : parser->TryParseIntoTree(value.substr(open));
    }
    if (!status) Raise(example.At(status, kCStructureOffset));
    example.Parsed = std::move(parser);
  }
  return MakeTree(example.Parsed, example.Parsed->Root);
}

// The patterns of one record share the extractor's text; a pattern is its
// stretch of it and of the SL positions.
struct PatternBlock {
  std::string Text;
  std::vector<std::vector<int>> Positions;
};

struct Pattern {
  static constexpr const char* kOrigin =
      "Patterns come from Example.patterns()";

  std::shared_ptr<const PatternBlock> Block;
  std::size_t Begin = 0, End = 0, Number = 0;

  std::string_view Whole() const {
    return std::string_view(Block->Text).substr(Begin, End - Begin);
  }
  // Line `n` (from 0) of the text form: 0 is the header, 1 SL ... 8
  // XSideConstraints, and the constraints after it.
  std::vector<std::string_view> Lines() const {
    std::vector<std::string_view> lines;
    std::string_view rest = Whole();
    while (!rest.empty()) {
      const std::size_t end = rest.find('\n');
      lines.push_back(rest.substr(0, end));
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    lines.resize(std::max<std::size_t>(lines.size(), 9));
    return lines;
  }
  std::string_view Field(std::size_t n) const { return FieldValue(Lines()[n]); }
};

std::vector<std::string_view> SplitBlanks(std::string_view text) {
  std::vector<std::string_view> parts;
  if (text.empty()) return parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t blank = text.find(' ', from);
    parts.push_back(text.substr(from, blank - from));
    if (blank == std::string_view::npos) break;
    from = blank + 1;
  }
  return parts;
}

std::vector<Pattern> Patterns(const Example& example, bool consistent) {
  auto block = std::make_shared<PatternBlock>();
  Status status;
  {
    LockReleased released;
    // One extractor per thread keeps its scratch space between records.
    thread_local PatternExtractor all(false);
    thread_local PatternExtractor consistentOnly(true);
    status = (consistent ? consistentOnly : all)
                 .AppendPatterns(example.Record, block->Text, block->Positions);
  }
  if (!status) Raise(status);
  // Every pattern is nine lines and then its constraints, which alone begin
  // with "(X".
  std::vector<Pattern> patterns;
  const std::string_view text = block->Text;
  std::size_t at = 0;
  while (at < text.size()) {
    Pattern pattern{block, at, at, patterns.size()};
    std::size_t lines = 0;
    while (at < text.size() && (lines < 9 || text.compare(at, 2, "(X") == 0)) {
      const std::size_t end = text.find('\n', at);
      at = end == std::string_view::npos ? text.size() : end + 1;
      ++lines;
    }
    pattern.End = at;
    patterns.push_back(std::move(pattern));
  }
  return patterns;
}

// What makes two examples equal: the lines they were read from and where.
auto Key(const Example& e) {
  const ExampleRecord& r = e.Record;
  return std::tie(r.Header, r.SL, r.TL, r.Alignment, r.Type, r.CStructure,
                  r.ConstSeq, r.FieldCount, r.Number, r.HeaderLine, e.Numbered);
}

// Item `at` of a pickle's state as a T: an item of another type raises
// TypeError, naming what it is, rather than pybind11's RuntimeError.
template <class T>
T StateField(const py::tuple& state, std::size_t at, const char* what) {
  try {
    return state[at].cast<T>();
  } catch (const py::cast_error&) {
    throw py::type_error(std::string("not ") + what + ": item " +
                         std::to_string(at) +
                         " of its state is of the wrong type (" +
                         Py_TYPE(state[at].ptr())->tp_name + ")");
  }
}

}  // namespace
}  // namespace annotator_python

namespace pybind11::detail {
template <>
class type_caster<annotator_python::Pattern>
    : public annotator_python::MadeObjectCaster<annotator_python::Pattern> {};
}  // namespace pybind11::detail

namespace annotator_python {

void RegisterExampleTypes(py::module_& module) {
  // The types are the package's own, whatever module holds their code;
  // both are named before any signature mentions them.
  py::class_<Pattern> pattern(module, "Pattern",
                              "A candidate translation pattern, as "
                              "extract_patterns writes it.");
  py::class_<Example, std::shared_ptr<Example>> example(
      module, "Example",
      "One training example of a file, as annotator reads it. Field texts "
      "are the lines' texts after their label (after the first ':' and one "
      "blank); positions count from 1 as in the files.");
  pattern.attr("__module__") = "annotator";
  example.attr("__module__") = "annotator";
  PickleAsProtocolTwo(pattern);
  PickleAsProtocolTwo(example);
  example
      .def_property_readonly(
          "number", [](const Example& e) { return e.Record.Number; },
          "The record's number in its file, from 1.")
      .def_property_readonly(
          "line", [](const Example& e) { return e.Record.HeaderLine; },
          "The line number of the record's header in its file, from 1.")
      .def_property_readonly(
          "header", [](const Example& e) { return Text(e.Record.Header); },
          "The record's header line as read, such as 'SentenceIndex: 17': "
          "make_examples numbers it by sentence, skipped ones included.")
      .def_property_readonly(
          "sl", [](const Example& e) { return Text(FieldValue(e.Record.SL)); },
          "The SL sentence: word/tag tokens.")
      .def_property_readonly(
          "tl", [](const Example& e) { return Text(FieldValue(e.Record.TL)); },
          "The TL sentence.")
      .def_property_readonly(
          "alignment_text",
          [](const Example& e) { return Text(FieldValue(e.Record.Alignment)); },
          "The alignment as written, such as '((1,1),(2,2))'.")
      .def_property_readonly(
          "type",
          [](const Example& e) { return Text(FieldValue(e.Record.Type)); },
          "The example's type.")
      .def_property_readonly(
          "cstructure",
          [](const Example& e) {
            return Text(FieldValue(e.Record.CStructure));
          },
          "The C-structure: the bracketed tree as written.")
      .def_property_readonly(
          "constseq",
          [](const Example& e) { return Text(FieldValue(e.Record.ConstSeq)); },
          "The constituent sequence.")
      .def_property_readonly(
          "sl_words",
          [](const Example& e) {
            std::vector<std::string_view> words, tags;
            SplitSL(FieldValue(e.Record.SL), words, tags);
            return TextList(words);
          },
          "The SL words in sentence order.")
      .def_property_readonly(
          "sl_tags",
          [](const Example& e) {
            std::vector<std::string_view> words, tags;
            SplitSL(FieldValue(e.Record.SL), words, tags);
            return TextList(tags);
          },
          "The tag of each SL word ('' for an untagged one).")
      .def_property_readonly(
          "tl_words",
          [](const Example& e) {
            return TextList(SplitTL(FieldValue(e.Record.TL)));
          },
          "The TL words in sentence order.")
      .def_property_readonly(
          "alignment", &Alignment,
          "The links as (SL position, TL position) pairs, by SL position and "
          "then TL position, each once; links from SL positions beyond the "
          "SL words are left out. Raises AlignmentError for a TL position "
          "the TL sentence does not have.")
      .def_property_readonly(
          "tree", &ExampleTree,
          "The C-structure's tree, read from its first '(' and built on first "
          "use. Raises FormatError when it does not read.")
      .def_property_readonly(
          "score", &Score,
          "The co-embedding score annotator writes for this record, read "
          "without building the tree. Raises FormatError where annotator "
          "stops with a format error.")
      .def("patterns", &Patterns, py::arg("consistent") = false,
           "Every constituent as a candidate pattern: exactly what "
           "extract_patterns (with --consistent when `consistent`) writes "
           "for this record. Raises FormatError or AlignmentError where "
           "extract_patterns skips the record.")
      .def(py::pickle(
          [](const Example& e) {
            const ExampleRecord& r = e.Record;
            return py::make_tuple(py::bytes(r.Header), py::bytes(r.SL),
                                  py::bytes(r.TL), py::bytes(r.Alignment),
                                  py::bytes(r.Type), py::bytes(r.CStructure),
                                  py::bytes(r.ConstSeq), r.FieldCount, r.Number,
                                  r.HeaderLine, e.Numbered);
          },
          [](const py::tuple& state) {
            if (state.size() != 11) throw py::value_error("not an Example");
            auto e = std::make_shared<Example>();
            ExampleRecord& r = e->Record;
            std::string* fields[] = {&r.Header,    &r.SL,   &r.TL,
                                     &r.Alignment, &r.Type, &r.CStructure,
                                     &r.ConstSeq};
            for (std::size_t i = 0; i < 7; ++i) {
              *fields[i] = StateField<std::string>(state, i, "an Example");
            }
            r.FieldCount = StateField<std::size_t>(state, 7, "an Example");
            r.Number = StateField<std::size_t>(state, 8, "an Example");
            r.HeaderLine = StateField<std::size_t>(state, 9, "an Example");
            e->Numbered = StateField<bool>(state, 10, "an Example");
            return e;
          }))
      .def("__copy__", [](const py::object& self) { return self; })
      .def("__deepcopy__",
           [](const py::object& self, const py::handle&) { return self; })
      .def(
          "__eq__",
          [](const Example& a, const Example& b) { return Key(a) == Key(b); },
          py::is_operator())
      .def("__hash__",
           [](const Example& e) {
             return std::hash<std::string>()(e.Record.CStructure) ^
                    std::hash<std::size_t>()(e.Record.Number);
           })
      .def("__str__",
           [](const Example& e) {
             std::string record;
             if (e.Numbered) {
               AppendAnnotatedRecord(e.Record.View(), Score(e), e.Record.Header,
                                     record);
             } else {
               AppendAnnotatedRecord(e.Record, Score(e), record);
             }
             return Text(record);
           })
      .def("__repr__",
           [](const Example& e) {
             return "<annotator.Example " + std::to_string(e.Record.Number) +
                    " at line " + std::to_string(e.Record.HeaderLine) + ">";
           })
      .def(
          "_repr_svg_",
          [](const py::object& self) {
            return py::module_::import("annotator._picture")
                .attr("shown_example_svg")(self);
          },
          "The example drawn as an SVG picture: its tree, the SL words at its "
          "foot, the TL words below them and a line per alignment link; None "
          "when its tree, score or alignment does not read.");

  pattern
      .def_property_readonly(
          "type", [](const Pattern& p) { return Text(p.Field(4)); },
          "The constituent's label.")
      .def_property_readonly(
          "sl_words",
          [](const Pattern& p) { return TextList(SplitBlanks(p.Field(1))); },
          "The constituent's words.")
      .def_property_readonly(
          "sl_positions",
          [](const Pattern& p) { return p.Block->Positions[p.Number]; },
          "The sentence positions of sl_words, from 1.")
      .def_property_readonly(
          "tl_words",
          [](const Pattern& p) { return TextList(SplitBlanks(p.Field(2))); },
          "The TL words aligned to the constituent, in sentence order.")
      .def_property_readonly(
          "alignment",
          [](const Pattern& p) {
            LineUp lineUp;
            lineUp.FillHash(1, std::string(p.Field(3)));
            py::list links;
            for (const auto& [sl, tls] : lineUp.HashFromX) {
              for (int tl : tls) links.append(py::make_tuple(sl, tl));
            }
            return links;
          },
          "The links as (SL, TL) pairs counted within the pattern, from 1.")
      .def_property_readonly(
          "cstructure", [](const Pattern& p) { return Text(p.Field(6)); },
          "The subtree with its labels in angle brackets and its leaves "
          "numbered from 1.")
      .def_property_readonly(
          "constseq", [](const Pattern& p) { return Text(p.Field(7)); },
          "The children's labels.")
      .def_property_readonly(
          "score",
          [](const Pattern& p) {
            const std::string_view value = p.Field(5);
            int score = 0;
            std::from_chars(value.data(), value.data() + value.size(), score);
            return score;
          },
          "The subtree's depth.")
      .def_property_readonly(
          "x_side_constraints",
          [](const Pattern& p) {
            const std::vector<std::string_view> lines = p.Lines();
            return TextList(
                std::vector<std::string_view>(lines.begin() + 9, lines.end()));
          },
          "Number and tense constraints such as '(X2 NUM *SG)'.")
      .def(py::pickle(
          [](const Pattern& p) {
            return py::make_tuple(py::bytes(std::string(p.Whole())),
                                  p.Block->Positions[p.Number]);
          },
          [](const py::tuple& state) {
            if (state.size() != 2) throw py::value_error("not a Pattern");
            auto block = std::make_shared<PatternBlock>();
            block->Text = StateField<std::string>(state, 0, "a Pattern");
            block->Positions.push_back(
                StateField<std::vector<int>>(state, 1, "a Pattern"));
            return Pattern{block, 0, block->Text.size(), 0};
          }))
      .def("__copy__", [](const py::object& self) { return self; })
      .def("__deepcopy__",
           [](const py::object& self, const py::handle&) { return self; })
      .def(
          "__eq__",
          [](const Pattern& a, const Pattern& b) {
            return a.Whole() == b.Whole() &&
                   a.Block->Positions[a.Number] == b.Block->Positions[b.Number];
          },
          py::is_operator())
      .def("__hash__",
           [](const Pattern& p) {
             return std::hash<std::string_view>()(p.Whole());
           })
      .def("__str__", [](const Pattern& p) { return Text(p.Whole()); })
      .def("__repr__", [](const Pattern& p) {
        return "<annotator.Pattern " +
               py::repr(Text(p.Field(4))).cast<std::string>() + " " +
               py::repr(Text(p.Field(1))).cast<std::string>() + ">";
      });
}

}  // namespace annotator_python
