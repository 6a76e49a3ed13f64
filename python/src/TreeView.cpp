// The Tree type is written against the interpreter's own C API: a walk over
// every node of a corpus makes a view per node, and a pybind11 object costs
// several times what a plain one does to make and to ask.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "Binding.h"
#include "ParseParser.h"
#include "TreeContent.h"
#include "structmember.h"
#include "trees/TreeWalk.h"

namespace annotator_python {

namespace {

struct TreeObject {
  PyObject_HEAD std::shared_ptr<ParseParser> Owner;
  CTree::TreeNode* Node;
  PyObject* WeakReferences;
};

PyTypeObject* TreeType = nullptr;

TreeObject* AsTree(PyObject* self) {
  return reinterpret_cast<TreeObject*>(self);
}
CTree::TreeNode* NodeOf(PyObject* self) { return AsTree(self)->Node; }

PyObject* NewTree(const std::shared_ptr<ParseParser>& owner,
                  CTree::TreeNode* node) {
  TreeObject* tree = PyObject_New(TreeObject, TreeType);
  if (!tree) return nullptr;
  new (&tree->Owner) std::shared_ptr<ParseParser>(owner);
  tree->Node = node;
  tree->WeakReferences = nullptr;
  return reinterpret_cast<PyObject*>(tree);
}

PyObject* Sibling(PyObject* self, CTree::TreeNode* node) {
  return NewTree(AsTree(self)->Owner, node);
}

void DeallocTree(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  if (AsTree(self)->WeakReferences) PyObject_ClearWeakRefs(self);
  AsTree(self)->Owner.~shared_ptr();
  PyObject_Free(self);
  Py_DECREF(type);
}

PyObject* RefuseNew(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError,
                  "Tree objects come from annotator.parse_tree and "
                  "Example.tree");
  return nullptr;
}

// Runs `body` and turns a C++ exception into the Python error it carries.
template <class Body>
PyObject* Guard(Body&& body) {
  try {
    return body();
  } catch (py::error_already_set& error) {
    error.restore();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& error) {
    PyErr_SetString(PyExc_RuntimeError, error.what());
  }
  return nullptr;
}

PyObject* Release(py::object object) { return object.release().ptr(); }

PyObject* Label(PyObject* self, void*) {
  return Guard([&] { return Release(Text(NodeOf(self)->Label)); });
}
PyObject* Word(PyObject* self, void*) {
  return Guard([&] { return Release(Text(WordOf(NodeOf(self)))); });
}
PyObject* Index(PyObject* self, void*) {
  const int index = IndexOf(NodeOf(self));
  if (index < 0) Py_RETURN_NONE;
  return PyLong_FromLong(index);
}
PyObject* Children(PyObject* self, void*) {
  const std::vector<CTree::TreeNode*>& children = NodeOf(self)->Children;
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(children.size()));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < children.size(); ++i) {
    PyObject* child = Sibling(self, children[i]);
    if (!child) {
      Py_DECREF(list);
      return nullptr;
    }
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), child);
  }
  return list;
}
PyObject* Parent(PyObject* self, void*) {
  CTree::TreeNode* parent = NodeOf(self)->Parent;
  if (!parent) Py_RETURN_NONE;
  return Sibling(self, parent);
}
PyObject* IsLeaf(PyObject* self, void*) {
  return PyBool_FromLong(NodeOf(self)->Children.empty());
}
PyObject* Depth(PyObject* self, void*) {
  return PyLong_FromLong(GetCoEmbeddingScore(NodeOf(self)));
}

PyObject* Height(PyObject* self, PyObject*) {
  return PyLong_FromLong(GetCoEmbeddingScore(NodeOf(self)) + 1);
}

// The nodes under `self` in pre-order, or its leaves alone.
PyObject* Walk(PyObject* self, bool leavesOnly) {
  PyObject* list = PyList_New(0);
  if (!list) return nullptr;
  bool failed = false;
  WalkInTextOrder(
      NodeOf(self),
      [&](CTree::TreeNode* node) {
        if (failed || (leavesOnly && !node->Children.empty())) return;
        PyObject* view = Sibling(self, node);
        failed = !view || PyList_Append(list, view) != 0;
        Py_XDECREF(view);
      },
      [](CTree::TreeNode*) {});
  if (failed) {
    Py_DECREF(list);
    return nullptr;
  }
  return list;
}
PyObject* Subtrees(PyObject* self, PyObject*) { return Walk(self, false); }
PyObject* Leaves(PyObject* self, PyObject*) { return Walk(self, true); }

PyObject* Words(PyObject* self, PyObject*) {
  return Guard([&] {
    py::list words;
    ForEachLeaf(NodeOf(self),
                [&](CTree::TreeNode* node) { words.append(Text(node->Word)); });
    return Release(words);
  });
}

PyObject* Pos(PyObject* self, PyObject*) {
  return Guard([&] {
    py::list pairs;
    ForEachLeaf(NodeOf(self), [&](CTree::TreeNode* node) {
      pairs.append(py::make_tuple(Text(node->Word), Text(node->Label)));
    });
    return Release(pairs);
  });
}

// The subtree in pre-order as (label, word or None, parent's place in the
// list or -1, position or None): all a picture needs, in one call and
// without a walk in Python that would recurse.
PyObject* Flat(PyObject* self, PyObject*) {
  return Guard([&] {
    py::list rows;
    std::vector<long long> open;
    long long next = 0;
    WalkInTextOrder(
        NodeOf(self),
        [&](CTree::TreeNode* node) {
          const bool leaf = node->Children.empty();
          rows.append(py::make_tuple(
              Text(node->Label),
              leaf ? py::object(Text(node->Word)) : py::none(),
              open.empty() ? -1 : open.back(),
              IndexOf(node) < 0 ? py::none()
                                : py::object(py::int_(IndexOf(node)))));
          open.push_back(next++);
        },
        [&](CTree::TreeNode*) { open.pop_back(); });
    return Release(rows);
  });
}

// annotator.`name`(*args, **keywords), with `self` first for a method.
PyObject* CallPython(const char* name, PyObject* self, PyObject* args,
                     PyObject* keywords) {
  return Guard([&] {
    py::tuple all = py::reinterpret_borrow<py::tuple>(args);
    if (self) all = py::make_tuple(py::handle(self)) + all;
    const py::object function = py::module_::import("annotator").attr(name);
    return PyObject_Call(function.ptr(), all.ptr(), keywords);
  });
}
PyObject* ToNltk(PyObject* self, PyObject* args, PyObject* keywords) {
  return CallPython("_to_nltk", self, args, keywords);
}
PyObject* FromNltk(PyObject*, PyObject* args, PyObject* keywords) {
  return CallPython("_from_nltk", nullptr, args, keywords);
}
PyObject* SameNode(PyObject* self, PyObject* other) {
  if (!PyObject_TypeCheck(other, TreeType)) {
    PyErr_SetString(PyExc_TypeError, "same_node() takes a Tree");
    return nullptr;
  }
  return PyBool_FromLong(NodeOf(self) == NodeOf(other));
}
// A copy is the view itself, as for any value that cannot change.
PyObject* Self(PyObject* self, PyObject*) {
  Py_INCREF(self);
  return self;
}
PyObject* Reduce(PyObject* self, PyObject*) {
  return Guard([&] {
    // A subtree read on its own would number its leaves from 1, so a
    // pickle is the whole tree's text and the way down to the node.
    std::vector<std::size_t> way;
    CTree::TreeNode* root = NodeOf(self);
    for (; root->Parent; root = root->Parent) {
      const std::vector<CTree::TreeNode*>& siblings = root->Parent->Children;
      way.push_back(static_cast<std::size_t>(
          std::find(siblings.begin(), siblings.end(), root) -
          siblings.begin()));
    }
    std::reverse(way.begin(), way.end());
    std::string text;
    AsTree(self)->Owner->ReturnSubTree(root, text);
    return Release(
        py::make_tuple(py::module_::import("annotator").attr("_tree_at"),
                       py::make_tuple(Text(text), py::cast(way))));
  });
}
PyObject* Svg(PyObject* self, PyObject*) {
  return Guard([&] {
    return Release(py::module_::import("annotator._picture")
                       .attr("tree_svg")(py::handle(self)));
  });
}

Py_ssize_t Length(PyObject* self) {
  return static_cast<Py_ssize_t>(NodeOf(self)->Children.size());
}
// Python has already added the length to a negative index.
PyObject* Item(PyObject* self, Py_ssize_t i) {
  const std::vector<CTree::TreeNode*>& children = NodeOf(self)->Children;
  if (i < 0 || static_cast<std::size_t>(i) >= children.size()) {
    PyErr_SetString(PyExc_IndexError, "child index out of range");
    return nullptr;
  }
  return Sibling(self, children[static_cast<std::size_t>(i)]);
}

// NOLINTNEXTLINE(misc-no-recursion): tuples in tuples, to Python's limit.
PyObject* Subscript(PyObject* self, PyObject* key) {
  const std::vector<CTree::TreeNode*>& children = NodeOf(self)->Children;
  const auto count = static_cast<Py_ssize_t>(children.size());
  if (PySlice_Check(key)) {
    Py_ssize_t start = 0, stop = 0, step = 0;
    if (PySlice_Unpack(key, &start, &stop, &step) < 0) return nullptr;
    const Py_ssize_t length = PySlice_AdjustIndices(count, &start, &stop, step);
    PyObject* list = PyList_New(length);
    if (!list) return nullptr;
    for (Py_ssize_t i = 0; i < length; ++i) {
      PyObject* child =
          Sibling(self, children[static_cast<std::size_t>(start + i * step)]);
      if (!child) {
        Py_DECREF(list);
        return nullptr;
      }
      PyList_SET_ITEM(list, i, child);
    }
    return list;
  }
  if (PyTuple_Check(key)) {
    // A way down, as NLTK's trees take it: t[1, 0] is t[1][0], t[()] is t.
    const Py_ssize_t steps = PyTuple_GET_SIZE(key);
    Py_INCREF(self);
    PyObject* node = self;
    for (Py_ssize_t k = 0; node && k < steps; ++k) {
      const bool deeper = Py_EnterRecursiveCall(" in a tree index") == 0;
      PyObject* next =
          deeper ? Subscript(node, PyTuple_GET_ITEM(key, k)) : nullptr;
      if (deeper) Py_LeaveRecursiveCall();
      Py_DECREF(node);
      node = next;
      if (node && k + 1 < steps && !PyObject_TypeCheck(node, TreeType)) {
        Py_CLEAR(node);
        PyErr_SetString(PyExc_TypeError, "a slice may only end a tuple index");
      }
    }
    return node;
  }
  Py_ssize_t i = PyNumber_AsSsize_t(key, PyExc_IndexError);
  if (i == -1 && PyErr_Occurred()) return nullptr;
  return Item(self, i < 0 ? i + count : i);
}

PyObject* Iterate(PyObject* self) { return PySeqIter_New(self); }

PyObject* Str(PyObject* self) {
  return Guard([&] {
    std::string text;
    AsTree(self)->Owner->ReturnSubTree(NodeOf(self), text);
    return Release(Text(text));
  });
}
// The start of the bracketed text: enough to know a tree by in a list or
// a debugger, short enough for one line.
constexpr std::size_t kReprText = 60;

PyObject* Repr(PyObject* self) {
  return Guard([&] {
    std::string text;
    AsTree(self)->Owner->ReturnSubTree(NodeOf(self), text);
    if (text.size() > kReprText) text.replace(kReprText, text.npos, "...");
    return Release(Text("<annotator.Tree " + text + ">"));
  });
}

PyObject* Compare(PyObject* self, PyObject* other, int op) {
  if ((op != Py_EQ && op != Py_NE) || !PyObject_TypeCheck(other, TreeType)) {
    Py_RETURN_NOTIMPLEMENTED;
  }
  const bool equal = EqualTrees(NodeOf(self), NodeOf(other));
  return PyBool_FromLong(op == Py_EQ ? equal : !equal);
}
Py_hash_t Hash(PyObject* self) {
  const auto hash = static_cast<Py_hash_t>(HashTree(NodeOf(self)));
  return hash == -1 ? -2 : hash;
}

PyGetSetDef Properties[] = {
    {"label", Label, nullptr, "The category (NP) or, for a leaf, the tag (DT).",
     nullptr},
    {"word", Word, nullptr,
     "A leaf's word without its position suffix; '' for other nodes.", nullptr},
    {"index", Index, nullptr,
     "A leaf's position in the sentence, from 1; None for other nodes.",
     nullptr},
    {"children", Children, nullptr, "The child nodes in text order.", nullptr},
    {"parent", Parent, nullptr,
     "The node this one hangs under; None for the root.", nullptr},
    {"is_leaf", IsLeaf, nullptr, "True for a node without children.", nullptr},
    {"depth", Depth, nullptr,
     "The co-embedding score: the number of nodes on the longest path from "
     "this node down to a leaf (1 for a leaf). height() is depth + 1, as "
     "NLTK counts its word strings as a level of their own.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr}};

PyMemberDef Members[] = {
    {"__weaklistoffset__", T_PYSSIZET, offsetof(TreeObject, WeakReferences),
     READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr}};

PyMethodDef Methods[] = {
    {"leaves", Leaves, METH_NOARGS,
     "leaves($self, /)\n--\n\nThe nodes without children under this one, "
     "in text order (nltk.Tree.leaves() gives the word strings: words() "
     "here)."},
    {"words", Words, METH_NOARGS,
     "words($self, /)\n--\n\nThe leaves' words in text order."},
    {"subtrees", Subtrees, METH_NOARGS,
     "Every node under this one, itself first, in pre-order: a node before "
     "its descendants."},
    {"_flat", Flat, METH_NOARGS,
     "The subtree in pre-order as (label, word or None, parent's place or "
     "-1, position or None) rows."},
    {"height", Height, METH_NOARGS,
     "height($self, /)\n--\n\nThe height as NLTK counts it: depth + 1 (a "
     "leaf, which NLTK holds as a tree over its word, has height 2)."},
    {"pos", Pos, METH_NOARGS,
     "pos($self, /)\n--\n\nThe leaves as (word, tag) pairs in text order, "
     "as nltk.Tree.pos() gives them."},
    {"same_node", SameNode, METH_O,
     "same_node($self, other, /)\n--\n\nTrue when `other` views this very "
     "node of this very tree; == compares trees by their content."},
    {"to_nltk",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(ToNltk)),
     METH_VARARGS | METH_KEYWORDS,
     "to_nltk($self, /, positions=True)\n--\n\nThe subtree as an nltk.Tree, "
     "leaves written word-position as in the files, or as the words alone "
     "when `positions` is False. Raises ImportError when NLTK is not "
     "installed."},
    {"from_nltk",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(FromNltk)),
     METH_VARARGS | METH_KEYWORDS | METH_STATIC,
     "from_nltk(tree, /, unwrap=True)\n--\n\nAn nltk.Tree as a Tree, read "
     "as parse_tree reads its bracketed text: leaves are numbered by their "
     "place, and a word-N leaf at place N is the word at position N. The "
     "outer brackets that only wrap one constituent (ROOT, TOP or an empty "
     "label, as parsers write them) are dropped as make_example drops them; "
     "unwrap=False keeps them. Raises FormatError where a label or word "
     "cannot be written in brackets."},
    {"__copy__", Self, METH_NOARGS, nullptr},
    {"__deepcopy__",
     reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(Self)), METH_O,
     nullptr},
    {"__reduce__", Reduce, METH_NOARGS, nullptr},
    {"_repr_svg_", Svg, METH_NOARGS, "The subtree drawn as an SVG picture."},
    {nullptr, nullptr, 0, nullptr}};

py::object ParseTree(const py::str& text) {
  std::string bytes = Bytes(text);
  auto owner = std::make_shared<ParseParser>();
  Status status;
  {
    LockReleased released;
    status = owner->TryParseIntoTree(bytes);
  }
  if (!status) Raise(status);
  return MakeTree(owner, owner->Root);
}

}  // namespace

py::object MakeTree(const std::shared_ptr<ParseParser>& owner,
                    CTree::TreeNode* node) {
  PyObject* tree = NewTree(owner, node);
  if (!tree) throw py::error_already_set();
  return py::reinterpret_steal<py::object>(tree);
}

void RegisterTree(py::module_& module) {
  PyType_Slot slots[] = {
      {Py_tp_doc,
       const_cast<char*>(
           "A node of a constituent tree and the subtree under it. A view "
           "into a tree the module owns: it copies nothing, and keeps the "
           "whole tree alive while it exists. len() and indexing go over "
           "the children; str() gives the bracketed form the printers "
           "write.")},
      {Py_tp_dealloc, reinterpret_cast<void*>(DeallocTree)},
      {Py_tp_new, reinterpret_cast<void*>(RefuseNew)},
      {Py_tp_getset, Properties},
      {Py_tp_methods, Methods},
      {Py_sq_length, reinterpret_cast<void*>(Length)},
      {Py_sq_item, reinterpret_cast<void*>(Item)},
      {Py_mp_length, reinterpret_cast<void*>(Length)},
      {Py_mp_subscript, reinterpret_cast<void*>(Subscript)},
      {Py_tp_iter, reinterpret_cast<void*>(Iterate)},
      {Py_tp_members, Members},
      {Py_tp_str, reinterpret_cast<void*>(Str)},
      {Py_tp_repr, reinterpret_cast<void*>(Repr)},
      {Py_tp_richcompare, reinterpret_cast<void*>(Compare)},
      {Py_tp_hash, reinterpret_cast<void*>(Hash)},
      {0, nullptr}};
  PyType_Spec spec = {"annotator.Tree", sizeof(TreeObject), 0,
                      Py_TPFLAGS_DEFAULT, slots};
  PyObject* type = PyType_FromSpec(&spec);
  if (!type) throw py::error_already_set();
  TreeType = reinterpret_cast<PyTypeObject*>(type);
  module.add_object("Tree", py::reinterpret_steal<py::object>(type));

  module.def("parse_tree", &ParseTree, py::arg("text"),
             "Reads a bracketed C-structure such as '(S (NP (DT the-1)) (VP "
             "(VBZ barks-2)))' into a Tree, at any nesting depth. Raises "
             "FormatError when the text does not read as a tree.");
}

}  // namespace annotator_python
