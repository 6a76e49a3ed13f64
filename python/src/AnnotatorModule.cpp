// The compiled half of the annotator Python package; the package's
// __init__.py is its face.
#include "Binding.h"

PYBIND11_MODULE(_annotator, module) {
  module.doc() =
      "The annotator library: training-example files, constituent trees and "
      "patterns.";
  module.attr("__version__") = ANNOTATOR_VERSION;
  annotator_python::RegisterErrors(module);
  annotator_python::RegisterTree(module);
  annotator_python::RegisterReading(module);
  annotator_python::RegisterMaking(module);
  annotator_python::RegisterScoring(module);
}
