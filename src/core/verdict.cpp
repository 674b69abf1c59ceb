#include "core/verdict.hpp"
#include "core/json/writer.hpp"

namespace zelq {

namespace {

json::Value verdict(std::string_view code, const ZelqError& e) {
  json::Object o;
  o.insert("valid", json::Value(false));
  o.insert("code", json::Value(std::string(code)));
  o.insert("error", json::Value(e.display()));
  return json::Value(std::move(o));
}

}  // namespace

std::string failure_verdict_json(const ZelqError& e) { return json::to_string(verdict(verdict_code(e.kind()), e)); }

json::Value witness_failure_verdict(const ZelqError& e) { return verdict(witness_verdict_code(e.kind()), e); }

std::string witness_failure_verdict_json(const ZelqError& e) { return json::to_string(witness_failure_verdict(e)); }

}  // namespace zelq
