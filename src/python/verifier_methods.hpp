// The ZelqVerifier method groups, one per capability file.
#pragma once

#include <span>

#include "python/binding.hpp"

namespace zelq::py {

std::span<const PyMethodDef> verifier_hash_methods();
std::span<const PyMethodDef> verifier_signature_methods();
std::span<const PyMethodDef> verifier_record_methods();
std::span<const PyMethodDef> verifier_receipt_methods();
std::span<const PyMethodDef> verifier_log_methods();
std::span<const PyMethodDef> verifier_witness_methods();
std::span<const PyMethodDef> verifier_lifecycle_methods();

}  // namespace zelq::py
