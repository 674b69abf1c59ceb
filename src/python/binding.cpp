#include "python/binding.hpp"

#include <cstring>
#include <string>

namespace zelq::py {

namespace {

std::string full_name(const MethodSpec& s) { return std::string(s.cls) + "." + s.name + "()"; }

// The bare type name of an object, for conversion messages.
std::string type_name(PyObject* o) {
  Ref name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(o)), "__name__"));
  if (!name) {
    PyErr_Clear();
    return "object";
  }
  Py_ssize_t n = 0;
  const char* s = PyUnicode_AsUTF8AndSize(name.get(), &n);
  if (!s) {
    PyErr_Clear();
    return "object";
  }
  return std::string(s, static_cast<std::size_t>(n));
}

std::string type_module(PyObject* o) {
  Ref mod(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(o)), "__module__"));
  if (!mod || !PyUnicode_Check(mod.get())) {
    PyErr_Clear();
    return "";
  }
  const char* s = PyUnicode_AsUTF8AndSize(mod.get(), nullptr);
  if (!s) {
    PyErr_Clear();
    return "";
  }
  return s;
}

// Attaches "while processing '{name}'" to the pending exception when the
// host has exception notes; otherwise leaves it as it is.
void add_param_note(const char* name) {
  PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  PyErr_NormalizeException(&type, &value, &tb);
  if (value) {
    if (tb) PyException_SetTraceback(value, tb);
    if (PyObject_HasAttrString(value, "add_note")) {
      std::string note = std::string("while processing '") + name + "'";
      Ref r(PyObject_CallMethod(value, "add_note", "s", note.c_str()));
      if (!r) PyErr_Clear();
    }
  }
  PyErr_Restore(type, value, tb);
}

void not_instance(PyObject* o, const char* expected) {
  std::string msg;
  if (o == Py_None) {
    msg.append("'None' is not an instance of '");
  } else {
    msg.append("'").append(type_name(o)).append("' object is not an instance of '");
  }
  msg.append(expected).append("'");
  PyErr_SetString(PyExc_TypeError, msg.c_str());
}

bool extract_str(PyObject* o, std::string_view& out) {
  if (!PyUnicode_Check(o)) {
    not_instance(o, "str");
    return false;
  }
  Py_ssize_t n = 0;
  const char* s = PyUnicode_AsUTF8AndSize(o, &n);
  if (!s) return false;
  out = std::string_view(s, static_cast<std::size_t>(n));
  return true;
}

PyObject* too_many_positional(const MethodSpec& spec, std::size_t required, Py_ssize_t nargs) {
  const std::size_t nparams = spec.params.size();
  const char* was = nargs == 1 ? "was" : "were";
  std::string msg = full_name(spec) + " takes ";
  if (required != nparams) msg += "from " + std::to_string(required) + " to ";
  msg += std::to_string(nparams) + " positional arguments but " + std::to_string(nargs) + " " + was + " given";
  PyErr_SetString(PyExc_TypeError, msg.c_str());
  return nullptr;
}

void missing_required(const MethodSpec& spec, std::span<const ArgSlot> slots) {
  std::vector<const char*> missing;
  for (std::size_t j = 0; j < slots.size(); ++j)
    if (spec.params[j].need != Need::Optional && !slots[j].given) missing.push_back(spec.params[j].name);
  std::string msg = full_name(spec) + " missing " + std::to_string(missing.size()) + " required positional " +
                    (missing.size() == 1 ? "argument" : "arguments") + ": ";
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i != 0) {
      if (missing.size() > 2) msg += ',';
      msg += (i == missing.size() - 1) ? " and " : " ";
    }
    msg += '\'';
    msg += missing[i];
    msg += '\'';
  }
  PyErr_SetString(PyExc_TypeError, msg.c_str());
}

bool convert(const Param& p, ArgSlot& slot, ArgLists* lists) {
  PyObject* o = slot.given;
  switch (p.type) {
    case PType::Str: return extract_str(o, slot.text);
    case PType::Bytes: {
      if (!PyBytes_Check(o)) {
        not_instance(o, "bytes");
        return false;
      }
      char* buf = nullptr;
      Py_ssize_t n = 0;
      if (PyBytes_AsStringAndSize(o, &buf, &n) < 0) return false;
      slot.text = std::string_view(buf, static_cast<std::size_t>(n));
      return true;
    }
    case PType::Int: {
      if (o == Py_None) {
        not_instance(o, "int");
        return false;
      }
      Ref idx(PyNumber_Index(o));
      if (!idx) return false;
      long long v = PyLong_AsLongLong(idx.get());
      if (v == -1 && PyErr_Occurred()) return false;
      slot.number = static_cast<std::int64_t>(v);
      return true;
    }
    case PType::Bool: {
      if (PyBool_Check(o)) {
        slot.number = (o == Py_True) ? 1 : 0;
        return true;
      }
      // numpy's boolean scalar converts through its truth value.
      std::string tn = type_name(o);
      if ((tn == "bool_" || tn == "bool") && type_module(o) == "numpy") {
        int t = PyObject_IsTrue(o);
        if (t < 0) return false;
        slot.number = t;
        return true;
      }
      not_instance(o, "bool");
      return false;
    }
    case PType::StrList: {
      if (PyUnicode_Check(o)) {
        PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
        return false;
      }
      if (!PySequence_Check(o)) {
        not_instance(o, "Sequence");
        return false;
      }
      Py_ssize_t n = PySequence_Size(o);
      if (n < 0) return false;
      // Each item is held for the call: a later argument's conversion may run
      // host code that empties this sequence.
      slot.number = static_cast<std::int64_t>(lists->items.size());
      for (Py_ssize_t i = 0; i < n; ++i) {
        Ref item(PySequence_GetItem(o, i));
        if (!item) return false;
        std::string_view v;
        if (!extract_str(item.get(), v)) return false;
        lists->items.push_back(v);
        lists->keep.push_back(std::move(item));
      }
      slot.count = static_cast<std::size_t>(n);
      return true;
    }
  }
  return false;
}

}  // namespace

bool extract_args(const MethodSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                  std::span<ArgSlot> slots, ArgLists* lists) {
  const std::size_t nparams = spec.params.size();
  if (static_cast<std::size_t>(nargs) > nparams) {
    std::size_t required = 0;
    for (const Param& p : spec.params)
      if (p.need != Need::Optional) ++required;
    too_many_positional(spec, required, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)].given = args[i];

  const Py_ssize_t nkw = kwnames ? PyTuple_Size(kwnames) : 0;
  if (nkw < 0) return false;  // not a tuple: the host's bad-call error is set
  for (Py_ssize_t i = 0; i < nkw; ++i) {
    PyObject* key = PyTuple_GetItem(kwnames, i);
    if (!key) return false;
    // A vector call hands its keyword names over unchecked: any object may
    // arrive as one, and only a str may be read as a name.
    if (!PyUnicode_Check(key)) {
      PyErr_SetString(PyExc_TypeError, "keywords must be strings");
      return false;
    }
    // Compared by code points, never encoded: a name that UTF-8 cannot
    // carry (a lone surrogate) is simply no parameter's name.
    std::size_t idx = nparams;
    for (std::size_t j = 0; j < nparams && idx == nparams; ++j)
      if (PyUnicode_CompareWithASCIIString(key, spec.params[j].name) == 0) idx = j;
    if (idx == nparams) {
      // The name is shown as the interpreter shows it, whatever it holds.
      PyErr_Format(PyExc_TypeError, "%s.%s() got an unexpected keyword argument '%U'", spec.cls, spec.name, key);
      return false;
    }
    if (slots[idx].given) {
      PyErr_Format(PyExc_TypeError, "%s.%s() got multiple values for argument '%s'", spec.cls, spec.name,
                   spec.params[idx].name);
      return false;
    }
    slots[idx].given = args[nargs + i];
  }

  for (std::size_t j = 0; j < nparams; ++j) {
    if (spec.params[j].need != Need::Optional && !slots[j].given) {
      missing_required(spec, slots);
      return false;
    }
  }

  for (std::size_t j = 0; j < nparams; ++j) {
    const Param& p = spec.params[j];
    ArgSlot& slot = slots[j];
    if (!slot.given) continue;
    if (slot.given == Py_None && p.need != Need::Required) {
      slot.given = nullptr;  // None stands for an omitted argument
      continue;
    }
    if (!convert(p, slot, lists)) {
      add_param_note(p.name);
      return false;
    }
  }
  return true;
}

// ---- results ----------------------------------------------------------------

PyObject* to_str(std::string_view s) {
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyObject* to_bytes(std::string_view b) {
  return PyBytes_FromStringAndSize(b.data(), static_cast<Py_ssize_t>(b.size()));
}

PyObject* none() {
  Py_INCREF(Py_None);
  return Py_None;
}

PyObject* true_() {
  Py_INCREF(Py_True);
  return Py_True;
}

// ---- errors -----------------------------------------------------------------

namespace {

struct ExcInfo {
  const char* name;
  const char* doc;
};

constexpr ExcInfo kExc[kExcCount] = {
    {"zelq.SsrfRejected",
     "Raised when an SSRF check rejects a URL, IP, or redirect. The `.reason` attribute is a stable snake_case "
     "code."},
    {"zelq.DidResolutionError",
     "Raised when a did:web helper rejects input. The `.reason` attribute is a stable snake_case code."},
    {"zelq.InvalidLogProof",
     "A transparency-log artifact failed verification (RFC-ZELQ-0012 \xc2\xa7" "9, \xc2\xa7" "11): an inclusion "
     "path that does not fold to the checkpoint root, a failed consistency proof, a checkpoint whose signature "
     "does not verify, or a malformed leaf/checkpoint/proof object. Permanent \xe2\x80\x94 a bad proof will not "
     "verify on retry."},
    {"zelq.ImmutableField",
     "A lifecycle (or future mutation) request attempted to supply or alter immutable body content "
     "(RFC-ZELQ-0013 \xc2\xa7" "6, \xc2\xa7" "10). Bodies are immutable; lifecycle endpoints mutate registry "
     "state only."},
    {"zelq.InvalidLifecycleTransition",
     "The requested lifecycle transition conflicts with the context's current retraction state (RFC-ZELQ-0013 "
     "\xc2\xa7" "6 step 4, \xc2\xa7" "10): retract of an already-retracted context, or republish of a "
     "never-retracted one. Retryable only after the state changes."},
    {"zelq.InvalidWitnessCosignature",
     "A transparency-log witness cosignature failed verification (RFC-ZELQ-0015 \xc2\xa7" "8, \xc2\xa7" "10): a "
     "signature that does not verify under the witness's resolved assertionMethod key, a checkpoint-binding "
     "mismatch, a future-dated witnessed_at, or a malformed cosignature object. Deliberately DISTINCT from "
     "InvalidLogProof \xe2\x80\x94 it indicts a witness's attestation, never the registry's log. Permanent "
     "\xe2\x80\x94 a bad cosignature will not verify on retry."},
};

PyObject* g_exc[kExcCount] = {};
PyObject* g_panic = nullptr;

}  // namespace

PyObject* exception_type(Exc e) {
  auto i = static_cast<std::size_t>(e);
  if (!g_exc[i]) {
    g_exc[i] = PyErr_NewExceptionWithDoc(kExc[i].name, kExc[i].doc, PyExc_Exception, nullptr);
    if (!g_exc[i]) {
      PyErr_Clear();
      raise_panic("Failed to initialize new exception type.");
      return nullptr;
    }
  }
  return g_exc[i];
}

PyObject* panic_type() {
  if (!g_panic) {
    g_panic = PyErr_NewExceptionWithDoc("zelq.PanicException",
                                        "An internal failure of the zelq module, caught at the method boundary.",
                                        PyExc_BaseException, nullptr);
  }
  return g_panic;
}

PyObject* raise_panic(const char* what) {
  // Made at start-up, so that raising it needs no allocation of a type when
  // memory has run out.
  if (!panic_type()) return nullptr;
  PyErr_SetString(g_panic, what);
  return nullptr;
}

PyObject* raise(PyObject* type, std::string_view msg) {
  if (!type) return nullptr;  // the failure to make the type is already set
  Ref text(to_str(msg));
  if (!text) return nullptr;
  PyErr_SetObject(type, text.get());
  return nullptr;
}


namespace {

PyObject* raise_as(Raise r, const std::string& msg, const ZelqError* e) {
  switch (r) {
    case Raise::ValueError: return raise(PyExc_ValueError, msg);
    case Raise::RuntimeError: return raise(PyExc_RuntimeError, msg);
    case Raise::ByKind: break;
  }
  PyObject* type = PyExc_RuntimeError;
  if (!e) return raise(type, msg);
  switch (e->kind()) {
    case ErrorKind::SchemaViolation: type = PyExc_ValueError; break;
    case ErrorKind::InvalidLogProof: type = exception_type(Exc::InvalidLogProof); break;
    case ErrorKind::InvalidWitnessCosignature: type = exception_type(Exc::InvalidWitnessCosignature); break;
    case ErrorKind::ImmutableField: type = exception_type(Exc::ImmutableField); break;
    case ErrorKind::InvalidLifecycleTransition: type = exception_type(Exc::InvalidLifecycleTransition); break;
    default: break;
  }
  return raise(type, msg);
}

}  // namespace

// Failures without a kind to go by fall back under ByKind: an argument's to
// ValueError, a complete check message to RuntimeError.
PyObject* raise_failure(const ErrorMap& m, const ArgumentError& e) {
  return raise_as(m.argument == Raise::ByKind ? Raise::ValueError : m.argument, e.message, nullptr);
}

PyObject* raise_failure(const ErrorMap& m, const ZelqError& e) { return raise_as(m.check, m.prefix + e.display(), &e); }

PyObject* raise_failure(const ErrorMap& m, const CheckFailure& e) { return raise_as(m.check, e.message, nullptr); }

static PyObject* raise_reasoned(Exc which, std::string_view msg, std::string_view reason) {
  PyObject* type = exception_type(which);
  if (!type) return nullptr;
  Ref text(to_str(msg));
  if (!text) return nullptr;
  Ref exc(PyObject_CallFunctionObjArgs(type, text.get(), nullptr));
  if (!exc) return nullptr;
  Ref code(to_str(reason));
  if (!code || PyObject_SetAttrString(exc.get(), "reason", code.get()) < 0) return nullptr;
  PyErr_SetObject(type, exc.get());
  return nullptr;
}

PyObject* raise_with_reason(std::string_view msg, std::string_view reason) {
  return raise_reasoned(Exc::DidResolutionError, msg, reason);
}

PyObject* raise_ssrf(std::string_view msg, std::string_view reason) {
  return raise_reasoned(Exc::SsrfRejected, msg, reason);
}

void dealloc_plain(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(reinterpret_cast<PyObject*>(type));
}

}  // namespace zelq::py
