// The thin layer between the interpreter and the core: owned references,
// method rows, argument matching and conversion, error raising.
//
// A method is one declaration:
//
//   constexpr Param kHashParams[] = {{"json_str", PType::Str}};
//   PyObject* content_hash(PyObject*, const Args& a) { ... a.str(0) ... }
//   constexpr MethodSpec kContentHash{"ZelqCanonicalizer", "content_hash",
//       Kind::Static, kHashParams, content_hash,
//       "content_hash(json_str)\n--\n\nSHA-256 over ...",
//       ErrorMap{Raise::ValueError, Raise::RuntimeError, "content_hash mismatch: "}};
//   ... method_def<kContentHash>() in the class's PyMethodDef table.
//
// A row given a DocBody instead of a doc text gets its signature line written
// from its own name, kind and parameters.
//
// A method body hands every core failure to `a.fail(error)`, which raises it
// through the row's ErrorMap; it never picks an exception class itself.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/error.hpp"
#include "core/json/record.hpp"

namespace zelq::py {

// Owned strong reference.
class Ref {
 public:
  Ref() = default;
  explicit Ref(PyObject* p) : p_(p) {}  // steals
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) { Py_XDECREF(p_); p_ = o.p_; o.p_ = nullptr; }
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }
  PyObject* get() const { return p_; }
  PyObject* release() { PyObject* p = p_; p_ = nullptr; return p; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  PyObject* p_ = nullptr;
};

enum class Kind : std::uint8_t { Static, StaticNoArgs, Instance, InstanceNoArgs };

enum class PType : std::uint8_t { Str, Bytes, Int, Bool, StrList };

enum class Need : std::uint8_t {
  Required,  // must be given, must not be None
  Optional,  // may be omitted; None counts as omitted
  OrNone,    // must be given, may be None
};

struct Param {
  const char* name;
  PType type;
  Need need = Need::Required;
};

// How a method's failures leave it. The core fails with an ArgumentError (an
// argument lacks its form; its message is complete), a ZelqError (a check
// failed) or a CheckFailure (a check failed; its message is complete).
enum class Raise : std::uint8_t {
  ValueError,
  RuntimeError,
  // By the ZelqError's kind: SchemaViolation is a ValueError, the four
  // registry artefact kinds raise the module's own exceptions, and every
  // other kind is a RuntimeError.
  ByKind,
};

struct ErrorMap {
  Raise argument = Raise::ValueError;
  Raise check = Raise::ByKind;
  const char* prefix = "";  // put before a ZelqError's display text
};

// The one mapping of core errors to exceptions; returns nullptr. Getters and
// no-argument methods, which have no Args, call it with their own ErrorMap.
PyObject* raise_failure(const ErrorMap& m, const ArgumentError& e);
PyObject* raise_failure(const ErrorMap& m, const ZelqError& e);
PyObject* raise_failure(const ErrorMap& m, const CheckFailure& e);

// One argument while it is matched and converted: the object given for the
// parameter (borrowed; null when omitted, or None for a parameter that may be
// None) and its converted value.
struct ArgSlot {
  PyObject* given = nullptr;
  std::string_view text{};  // Str, Bytes
  std::int64_t number = 0;  // Int, Bool; StrList: the index of its first item
  std::size_t count = 0;    // StrList: the number of its items
};

// The items of every list argument of one call, and the item objects whose
// text the views point into. Only calls that pass a list fill it.
struct ArgLists {
  std::vector<std::string_view> items;
  std::vector<Ref> keep;
};

using StrList = std::span<const std::string_view>;

// Converted arguments in parameter order, over the slots of one call. Text
// views point into the argument objects, which the caller keeps alive.
class Args {
 public:
  Args(const ErrorMap& errors, std::span<ArgSlot> slots, ArgLists* lists)
      : errors_(&errors), slots_(slots), lists_(lists) {}

  std::string_view str(std::size_t i) const { return slots_[i].text; }
  std::optional<std::string_view> opt_str(std::size_t i) const {
    if (!slots_[i].given) return std::nullopt;
    return slots_[i].text;
  }
  std::string_view bytes(std::size_t i) const { return slots_[i].text; }
  std::optional<std::int64_t> opt_int(std::size_t i) const {
    if (!slots_[i].given) return std::nullopt;
    return slots_[i].number;
  }
  std::optional<bool> opt_bool(std::size_t i) const {
    if (!slots_[i].given) return std::nullopt;
    return slots_[i].number != 0;
  }
  std::optional<StrList> opt_str_list(std::size_t i) const {
    if (!slots_[i].given) return std::nullopt;
    return StrList(lists_->items).subspan(static_cast<std::size_t>(slots_[i].number), slots_[i].count);
  }

  // Raise a core failure as the method's row says; returns nullptr.
  PyObject* fail(const ArgumentError& e) const { return raise_failure(*errors_, e); }
  PyObject* fail(const ZelqError& e) const { return raise_failure(*errors_, e); }
  PyObject* fail(const CheckFailure& e) const { return raise_failure(*errors_, e); }

 private:
  const ErrorMap* errors_;
  std::span<ArgSlot> slots_;
  ArgLists* lists_;
};

// ---- arguments into a core struct, by name --------------------------------
// A method whose arguments fill a core argument struct binds each parameter
// to the struct member of the same name; the parameter's host type and need
// follow from the member's type, so the row and the struct cannot disagree:
//
//   using PublishBinding = ArgStruct<ZELQ_ARG(PublishArgs, title), ...>;
//   ... PublishBinding::params in the method row,
//   ... PublishBinding::from(a) in its body.

template <std::size_t N>
struct ParamName {
  char text[N]{};
  consteval ParamName(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
  }
};

// The member types a parameter may fill, with their host type and need.
template <class T>
struct ArgKind;
template <>
struct ArgKind<std::string_view> {
  static constexpr PType type = PType::Str;
  static constexpr Need need = Need::Required;
  static std::string_view get(const Args& a, std::size_t i) { return a.str(i); }
};
template <>
struct ArgKind<std::optional<std::string_view>> {
  static constexpr PType type = PType::Str;
  static constexpr Need need = Need::Optional;
  static std::optional<std::string_view> get(const Args& a, std::size_t i) { return a.opt_str(i); }
};
template <>
struct ArgKind<std::optional<StrList>> {
  static constexpr PType type = PType::StrList;
  static constexpr Need need = Need::Optional;
  static std::optional<StrList> get(const Args& a, std::size_t i) { return a.opt_str_list(i); }
};
template <>
struct ArgKind<std::optional<bool>> {
  static constexpr PType type = PType::Bool;
  static constexpr Need need = Need::Optional;
  static std::optional<bool> get(const Args& a, std::size_t i) { return a.opt_bool(i); }
};

template <ParamName Name, auto Member>
struct Bind {
  using Struct = json::OwnerOf<Member>;
  using Type = typename json::MemberOf<decltype(Member)>::Type;
  static constexpr auto member = Member;
  static constexpr Param param{Name.text, ArgKind<Type>::type, ArgKind<Type>::need};
};

// The parameter named as the member it fills: the name is written once.
#define ZELQ_ARG(Struct, member) ::zelq::py::Bind<#member, &Struct::member>

namespace detail {
constexpr bool distinct_names(std::span<const Param> params) {
  for (std::size_t i = 0; i < params.size(); ++i)
    for (std::size_t j = 0; j < i; ++j)
      if (std::string_view(params[i].name) == params[j].name) return false;
  return true;
}
}  // namespace detail

// Parameters in positional order, each filling its own member.
template <class First, class... Rest>
struct ArgStruct {
  using Struct = typename First::Struct;
  static_assert((std::is_same_v<Struct, typename Rest::Struct> && ...), "one struct per method");
  static constexpr Param params[1 + sizeof...(Rest)] = {First::param, Rest::param...};
  static_assert(detail::distinct_names(params), "a parameter is bound twice");

  static Struct from(const Args& a) {
    Struct s{};
    std::size_t i = 0;
    fill<First>(s, a, i);
    (fill<Rest>(s, a, i), ...);
    return s;
  }

 private:
  template <class B>
  static void fill(Struct& s, const Args& a, std::size_t& i) {
    s.*B::member = ArgKind<typename B::Type>::get(a, i++);
  }
};

// Returns a new reference, or nullptr with the interpreter's exception set.
using Impl = PyObject* (*)(PyObject* self, const Args& args);
using NoArgsImpl = PyObject* (*)(PyObject* self);

// A doc body whose signature line ("name($self, a, b=None)\n--\n\n") is
// written from the method's own name, kind and parameters.
struct DocBody {
  const char* text;
};

struct MethodSpec {
  const char* cls;
  const char* name;
  Kind kind;
  std::span<const Param> params;
  Impl impl;
  const char* doc;
  NoArgsImpl noargs = nullptr;  // for the *NoArgs kinds
  ErrorMap errors = {};
  bool signature_from_params = false;  // `doc` is a DocBody's text

  constexpr MethodSpec(const char* c, const char* n, Kind k, std::span<const Param> p, Impl i, const char* d,
                       ErrorMap e = {})
      : cls(c), name(n), kind(k), params(p), impl(i), doc(d), errors(e) {}
  constexpr MethodSpec(const char* c, const char* n, Kind k, std::span<const Param> p, Impl i, const char* d,
                       NoArgsImpl na, ErrorMap e = {})
      : cls(c), name(n), kind(k), params(p), impl(i), doc(d), noargs(na), errors(e) {}
  constexpr MethodSpec(const char* c, const char* n, Kind k, std::span<const Param> p, Impl i, DocBody d,
                       ErrorMap e = {})
      : cls(c), name(n), kind(k), params(p), impl(i), doc(d.text), errors(e), signature_from_params(true) {}
  constexpr MethodSpec(const char* c, const char* n, Kind k, NoArgsImpl na, DocBody d, ErrorMap e = {})
      : cls(c), name(n), kind(k), params(), impl(nullptr), doc(d.text), noargs(na), errors(e),
        signature_from_params(true) {}
};

struct GetterSpec {
  const char* name;
  NoArgsImpl get;
  const char* doc;
};

// Matches and converts the arguments into `slots` (one per parameter);
// false with the interpreter's exception set when they do not fit. Arguments
// arrive in the vector calling convention: positional values, then the
// values of the keywords named in `kwnames`.
bool extract_args(const MethodSpec& spec, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                  std::span<ArgSlot> slots, ArgLists* lists);

// Any C++ exception escaping a method ends here: it becomes the panic
// exception (derived from BaseException), never a crash of the host.
PyObject* raise_panic(const char* what);
// The panic exception's type (borrowed; created once per process, at module
// start-up, and not added to the module), or nullptr with an exception set.
PyObject* panic_type();

constexpr bool takes_lists(const MethodSpec& s) {
  for (const Param& p : s.params)
    if (p.type == PType::StrList) return true;
  return false;
}

// The call's slots live on the stack, sized by the method's own parameters;
// the list store exists only for methods that take lists.
template <const MethodSpec& S>
PyObject* entry_with_args(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  try {
    std::array<ArgSlot, S.params.size()> slots{};
    if constexpr (takes_lists(S)) {
      ArgLists lists;
      if (!extract_args(S, args, nargs, kwnames, slots, &lists)) return nullptr;
      return S.impl(self, Args(S.errors, slots, &lists));
    } else {
      if (!extract_args(S, args, nargs, kwnames, slots, nullptr)) return nullptr;
      return S.impl(self, Args(S.errors, slots, nullptr));
    }
  } catch (const std::exception& e) {
    return raise_panic(e.what());
  } catch (...) {
    return raise_panic("unknown internal failure");
  }
}

template <const MethodSpec& S>
PyObject* entry_no_args(PyObject* self, PyObject*) {
  try {
    return S.noargs(self);
  } catch (const std::exception& e) {
    return raise_panic(e.what());
  } catch (...) {
    return raise_panic("unknown internal failure");
  }
}

namespace detail {

// Writes the doc with its signature line into `out`, or with out == nullptr
// only counts it; returns its length.
constexpr std::size_t write_signed_doc(const MethodSpec& s, char* out) {
  std::size_t n = 0;
  auto put = [&](const char* t) {
    for (; *t; ++t, ++n)
      if (out) out[n] = *t;
  };
  const char* sep = "";
  put(s.name);
  put("(");
  if (s.kind == Kind::Instance || s.kind == Kind::InstanceNoArgs) {
    put("$self");
    sep = ", ";
  }
  for (const Param& p : s.params) {
    put(sep);
    put(p.name);
    if (p.need == Need::Optional) put("=None");
    sep = ", ";
  }
  put(")\n--\n\n");
  put(s.doc);
  return n;
}

template <const MethodSpec& S>
inline constexpr auto kSignedDoc = [] {
  std::array<char, write_signed_doc(S, nullptr) + 1> out{};
  write_signed_doc(S, out.data());
  return out;
}();

template <const MethodSpec& S>
constexpr const char* doc_of() {
  if constexpr (S.signature_from_params) {
    return kSignedDoc<S>.data();
  } else {
    return S.doc;
  }
}

}  // namespace detail

template <const MethodSpec& S>
constexpr PyMethodDef method_def() {
  if constexpr (S.kind == Kind::StaticNoArgs || S.kind == Kind::InstanceNoArgs) {
    return PyMethodDef{S.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry_no_args<S>)),
                       METH_NOARGS | (S.kind == Kind::StaticNoArgs ? METH_STATIC : 0), detail::doc_of<S>()};
  } else {
    return PyMethodDef{S.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry_with_args<S>)),
                       METH_FASTCALL | METH_KEYWORDS | (S.kind == Kind::Static ? METH_STATIC : 0),
                       detail::doc_of<S>()};
  }
}

template <const GetterSpec& G>
PyObject* getter_entry(PyObject* self, void*) {
  try {
    return G.get(self);
  } catch (const std::exception& e) {
    return raise_panic(e.what());
  } catch (...) {
    return raise_panic("unknown internal failure");
  }
}

template <const GetterSpec& G>
constexpr PyGetSetDef getter_def() {
  return PyGetSetDef{G.name, &getter_entry<G>, nullptr, G.doc, nullptr};
}

// ---- results -------------------------------------------------------------
PyObject* to_str(std::string_view s);
PyObject* to_bytes(std::string_view b);
PyObject* none();
PyObject* true_();

// ---- errors --------------------------------------------------------------
enum class Exc : std::uint8_t {
  SsrfRejected,
  DidResolutionError,
  InvalidLogProof,
  ImmutableField,
  InvalidLifecycleTransition,
  InvalidWitnessCosignature,
};
inline constexpr int kExcCount = 6;

// The module's exception type (borrowed; created once per process).
PyObject* exception_type(Exc e);

// Raise `type` with `msg`; returns nullptr for `return raise(...)`. Method
// bodies raise core failures through Args::fail instead.
PyObject* raise(PyObject* type, std::string_view msg);
// DidResolutionError / SsrfRejected carrying a `reason` attribute.
PyObject* raise_with_reason(std::string_view msg, std::string_view reason);
PyObject* raise_ssrf(std::string_view msg, std::string_view reason);

// ---- classes -------------------------------------------------------------
enum class Cls : std::uint8_t {
  ZelqProducer,
  ZelqP256Producer,
  ZelqVerifier,
  ZelqCanonicalizer,
  ZelqMerkle,
  ZelqSsrfPolicy,
  ZelqDid,
  ZelqDidDocument,
};
inline constexpr int kClsCount = 8;

// The class's type object (borrowed; created once per process), or nullptr
// with an exception set.
PyObject* class_type(Cls c);

// What each class file provides: its spec, built from its method and getter
// tables. Defined in the class's own file.
PyType_Spec* producer_spec();
PyType_Spec* p256_producer_spec();
PyType_Spec* verifier_spec();
PyType_Spec* canonicalizer_spec();
PyType_Spec* merkle_spec();
PyType_Spec* ssrf_policy_spec();
PyType_Spec* did_spec();
PyType_Spec* did_document_spec();

}  // namespace zelq::py

namespace zelq::py {

// Instances of the classes with a payload: the object header, then an owned
// payload. The payload's destructor wipes any secret it holds.
template <class T>
struct Instance {
  PyObject_HEAD
  T* payload;
};

template <class T>
PyObject* make_instance(Cls c, std::unique_ptr<T> payload) {
  PyObject* type = class_type(c);
  if (!type) return nullptr;
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(reinterpret_cast<PyTypeObject*>(type), Py_tp_alloc));
  PyObject* obj = alloc(reinterpret_cast<PyTypeObject*>(type), 0);
  if (!obj) return nullptr;
  reinterpret_cast<Instance<T>*>(obj)->payload = payload.release();
  return obj;
}

template <class T>
const T& payload_of(PyObject* self) {
  return *reinterpret_cast<Instance<T>*>(self)->payload;
}

template <class T>
void dealloc_instance(PyObject* self) {
  std::unique_ptr<T> owned(reinterpret_cast<Instance<T>*>(self)->payload);
  reinterpret_cast<Instance<T>*>(self)->payload = nullptr;
  owned.reset();
  PyTypeObject* type = Py_TYPE(self);
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(reinterpret_cast<PyObject*>(type));
}

// Dealloc for the classes without a payload.
void dealloc_plain(PyObject* self);

}  // namespace zelq::py

namespace zelq::py {

inline constexpr unsigned kTypeFlags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION;

inline constexpr PyMethodDef kMethodsEnd = {nullptr, nullptr, 0, nullptr};

}  // namespace zelq::py

namespace zelq::py {

// Storage for one class's type spec: name, doc, methods, getters, payload.
struct ClassSpec {
  PyType_Slot slots[6];
  PyType_Spec spec;
  ClassSpec(const char* name, const char* doc, PyMethodDef* methods, PyGetSetDef* getset = nullptr,
            int basicsize = 0, destructor dealloc = dealloc_plain)
      : slots{{Py_tp_doc, const_cast<char*>(doc)},
              {Py_tp_methods, methods},
              {Py_tp_dealloc, reinterpret_cast<void*>(dealloc)},
              {getset ? Py_tp_getset : 0, getset},
              {0, nullptr},
              {0, nullptr}},
        spec{name, basicsize, 0, kTypeFlags, slots} {}
};

}  // namespace zelq::py
