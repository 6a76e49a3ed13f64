#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Binding.h"
#include "ParseParser.h"
#include "TreeWalk.h"

namespace annotator_python {

namespace {

TreeView Child(const TreeView& view, CTree::TreeNode* node) {
  return TreeView{view.Owner, node};
}

std::vector<TreeView> Subtrees(const TreeView& view, bool leavesOnly) {
  std::vector<TreeView> found;
  WalkInTextOrder(
      view.Node,
      [&](CTree::TreeNode* node) {
        if (!leavesOnly || node->Children.empty()) {
          found.push_back(Child(view, node));
        }
      },
      [](CTree::TreeNode*) {});
  return found;
}

py::object Index(const CTree::TreeNode* node) {
  return node->Index < 0 ? py::none() : py::object(py::int_(node->Index));
}

// The subtree in pre-order as (label, word or None, parent's place in the
// list or -1, position or None): all a picture needs, in one call and
// without a walk in Python that would recurse.
py::list Flat(const TreeView& view) {
  py::list rows;
  std::vector<long long> open;
  long long next = 0;
  WalkInTextOrder(
      view.Node,
      [&](CTree::TreeNode* node) {
        const bool leaf = node->Children.empty();
        rows.append(py::make_tuple(
            Text(node->Label), leaf ? py::object(Text(node->Word)) : py::none(),
            open.empty() ? -1 : open.back(), Index(node)));
        open.push_back(next++);
      },
      [&](CTree::TreeNode*) { open.pop_back(); });
  return rows;
}

TreeView ParseTree(const py::handle& text) {
  std::string bytes = Bytes(text);
  auto owner = std::make_shared<ParseParser>();
  std::string failed;
  bool ok = false;
  {
    py::gil_scoped_release released;
    ok = owner->TryParseIntoTree(bytes, &failed);
  }
  if (!ok) {
    Failure failure;
    failure.Text = std::move(failed);
    Raise(failure);
  }
  return TreeView{owner, owner->Root};
}

}  // namespace

void RegisterTree(py::module_& module) {
  py::class_<TreeView>(module, "Tree",
                       "A node of a constituent tree and the subtree under "
                       "it. A view into a tree the module owns: it copies "
                       "nothing, and keeps the whole tree alive while it "
                       "exists.")
      .def_property_readonly(
          "label", [](const TreeView& t) { return Text(t.Node->Label); },
          "The category (NP) or, for a leaf, the tag (DT).")
      .def_property_readonly(
          "word", [](const TreeView& t) { return Text(t.Node->Word); },
          "A leaf's word without its position suffix; '' for other nodes.")
      .def_property_readonly(
          "index", [](const TreeView& t) { return Index(t.Node); },
          "A leaf's position in the sentence, from 1; None for other nodes.")
      .def_property_readonly(
          "children",
          [](const TreeView& t) {
            std::vector<TreeView> children;
            children.reserve(t.Node->Children.size());
            for (CTree::TreeNode* child : t.Node->Children) {
              children.push_back(Child(t, child));
            }
            return children;
          },
          "The child nodes in text order.")
      .def_property_readonly(
          "parent",
          [](const TreeView& t) -> py::object {
            if (!t.Node->Parent) return py::none();
            return py::cast(Child(t, t.Node->Parent));
          },
          "The node this one hangs under; None for the root.")
      .def_property_readonly(
          "is_leaf", [](const TreeView& t) { return t.Node->Children.empty(); },
          "True for a node without children.")
      .def_property_readonly(
          "depth",
          [](const TreeView& t) { return GetCoEmbeddingScore(t.Node); },
          "The co-embedding score: the number of nodes on the longest path "
          "from this node down to a leaf (1 for a leaf).")
      .def(
          "leaves", [](const TreeView& t) { return Subtrees(t, true); },
          "The nodes without children under this one, in text order.")
      .def(
          "words",
          [](const TreeView& t) {
            py::list words;
            ForEachLeaf(t.Node, [&](CTree::TreeNode* node) {
              words.append(Text(node->Word));
            });
            return words;
          },
          "The leaves' words in text order.")
      .def(
          "subtrees", [](const TreeView& t) { return Subtrees(t, false); },
          "Every node under this one, itself first, in pre-order: a node "
          "before its descendants.")
      .def("__len__", [](const TreeView& t) { return t.Node->Children.size(); })
      .def("__getitem__",
           [](const TreeView& t, long long i) {
             const auto size = static_cast<long long>(t.Node->Children.size());
             if (i < 0) i += size;
             if (i < 0 || i >= size)
               throw py::index_error("child index out of range");
             return Child(t, t.Node->Children[static_cast<std::size_t>(i)]);
           })
      .def("__str__",
           [](const TreeView& t) {
             std::string text;
             t.Owner->ReturnSubTree(t.Node, text);
             return Text(text);
           })
      .def("__repr__",
           [](const TreeView& t) {
             return "<annotator.Tree " +
                    py::repr(Text(t.Node->Label)).cast<std::string>() +
                    " with " + std::to_string(t.Node->Children.size()) +
                    " children>";
           })
      .def("__eq__",
           [](const TreeView& t, const py::object& other) {
             return py::isinstance<TreeView>(other) &&
                    other.cast<const TreeView&>().Node == t.Node;
           })
      .def("__hash__",
           [](const TreeView& t) { return std::hash<const void*>()(t.Node); })
      .def("_flat", &Flat)
      .def(
          "to_nltk",
          [](const py::object& self) {
            return py::module_::import("annotator").attr("_to_nltk")(self);
          },
          "The subtree as an nltk.Tree, leaves written word-position as in "
          "the files. Raises ImportError when NLTK is not installed.")
      .def(
          "_repr_svg_",
          [](const py::object& self) {
            return py::module_::import("annotator._picture")
                .attr("tree_svg")(self);
          },
          "The subtree drawn as an SVG picture.");

  module.def("parse_tree", &ParseTree, py::arg("text"),
             "Reads a bracketed C-structure such as '(S (NP (DT the-1)) (VP "
             "(VBZ barks-2)))' into a Tree, at any nesting depth. Raises "
             "FormatError when the text does not read as a tree.");
}

}  // namespace annotator_python
