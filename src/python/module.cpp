// Module start-up: the exec step adds the eight classes and six exception
// types, each also appended to __all__. Type objects are made once per
// process and shared by every module object.
#include "python/binding.hpp"

namespace zelq::py {

namespace {

struct ClassEntry {
  const char* name;
  PyType_Spec* (*spec)();
};

constexpr ClassEntry kClasses[kClsCount] = {
    {"ZelqProducer", producer_spec},         {"ZelqP256Producer", p256_producer_spec},
    {"ZelqVerifier", verifier_spec},         {"ZelqCanonicalizer", canonicalizer_spec},
    {"ZelqMerkle", merkle_spec},             {"ZelqSsrfPolicy", ssrf_policy_spec},
    {"ZelqDid", did_spec},                   {"ZelqDidDocument", did_document_spec},
};

constexpr const char* kExcNames[kExcCount] = {
    "SsrfRejected",   "DidResolutionError",         "InvalidLogProof",
    "ImmutableField", "InvalidLifecycleTransition", "InvalidWitnessCosignature",
};

PyObject* g_types[kClsCount] = {};

int add_name(PyObject* module, const char* name, PyObject* obj) {
  Ref all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    PyErr_Clear();
    all = Ref(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
  }
  Ref n(PyUnicode_FromString(name));
  if (!n || PyList_Append(all.get(), n.get()) < 0) return -1;
  return PyObject_SetAttrString(module, name, obj);
}

int module_exec(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_SetString(PyExc_TypeError, "the exec step needs a module object");
    return -1;
  }
  for (int i = 0; i < kClsCount; ++i) {
    PyObject* t = class_type(static_cast<Cls>(i));
    if (!t || add_name(module, kClasses[i].name, t) < 0) return -1;
  }
  for (int i = 0; i < kExcCount; ++i) {
    PyObject* e = exception_type(static_cast<Exc>(i));
    if (!e || add_name(module, kExcNames[i], e) < 0) return -1;
  }
  return panic_type() ? 0 : -1;
}

PyModuleDef_Slot g_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyMethodDef g_module_methods[] = {kMethodsEnd};

PyModuleDef g_module = {
    PyModuleDef_HEAD_INIT,
    "zelq",
    "The `zelq` Python module \xe2\x80\x94 exposes the producer classes `ZelqProducer` and `ZelqP256Producer`,\n"
    "the consumer-side `ZelqVerifier`, `ZelqCanonicalizer`, `ZelqMerkle` and `ZelqDidDocument`,\n"
    "the `ZelqDid` string helpers and the `ZelqSsrfPolicy` fetch guard.\n"
    "Failures raise `SsrfRejected`, `DidResolutionError`, `InvalidLogProof`, `ImmutableField`,\n"
    "`InvalidLifecycleTransition`, or the built-in `ValueError` and `RuntimeError`.",
    0,
    g_module_methods,
    g_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyObject* class_type(Cls c) {
  auto i = static_cast<std::size_t>(c);
  if (!g_types[i]) {
    PyObject* t = PyType_FromSpec(kClasses[i].spec());
    if (!t) {
      PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
      PyErr_Fetch(&type, &value, &tb);
      PyErr_NormalizeException(&type, &value, &tb);
      std::string msg = std::string("An error occurred while initializing class ") + kClasses[i].name;
      PyErr_SetString(PyExc_RuntimeError, msg.c_str());
      PyObject *t2 = nullptr, *v2 = nullptr, *tb2 = nullptr;
      PyErr_Fetch(&t2, &v2, &tb2);
      PyErr_NormalizeException(&t2, &v2, &tb2);
      if (value) PyException_SetCause(v2, value);  // steals value
      Py_XDECREF(type);
      Py_XDECREF(tb);
      PyErr_Restore(t2, v2, tb2);
      return nullptr;
    }
    g_types[i] = t;
  }
  return g_types[i];
}

}  // namespace zelq::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_zelq(void) {
  return PyModuleDef_Init(&zelq::py::g_module);
}
