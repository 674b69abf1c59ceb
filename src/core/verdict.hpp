// FailureVerdict: a failure reported as data, {"valid":false,"code":..,"error":..}.
#pragma once

#include <string>

#include "core/error.hpp"
#include "core/json/value.hpp"

namespace zelq {

std::string failure_verdict_json(const ZelqError& e);
json::Value witness_failure_verdict(const ZelqError& e);
std::string witness_failure_verdict_json(const ZelqError& e);

}  // namespace zelq
