# Types of the zelq extension module. JSON goes in and comes out as text; a
# method that only checks returns True or raises. tests/test_stubs.py keeps
# every name, parameter and default here in step with the module itself.
from typing import TypeAlias, final

__all__ = [
    "ZelqProducer",
    "ZelqP256Producer",
    "ZelqVerifier",
    "ZelqCanonicalizer",
    "ZelqMerkle",
    "ZelqSsrfPolicy",
    "ZelqDid",
    "ZelqDidDocument",
    "SsrfRejected",
    "DidResolutionError",
    "InvalidLogProof",
    "ImmutableField",
    "InvalidLifecycleTransition",
    "InvalidWitnessCosignature",
]

# Any list or tuple of texts; a single str is refused at run time.
_Texts: TypeAlias = list[str] | tuple[str, ...]

# What both producer classes share; it has no counterpart at run time.
class _Producer:
    @property
    def agent_did(self) -> str: ...
    @property
    def key_id(self) -> str: ...
    def seed_bytes(self) -> bytes: ...
    def sign_challenge(self, signing_input: str) -> str: ...
    def build_publish_request(
        self,
        title: str,
        context_type: str,
        visibility: str | None = None,
        description: str | None = None,
        summary: str | None = None,
        tags: _Texts | None = None,
        domain: str | None = None,
        metadata: str | None = None,
        derived_from: _Texts | None = None,
        audience: _Texts | None = None,
        schema_uri: str | None = None,
        contributors: _Texts | None = None,
        data_refs: str | None = None,
        anchors: str | None = None,
        expires_at: str | None = None,
        data_period: str | None = None,
        expected_lineage_id: str | None = None,
        zelq_version: str | None = None,
        omit_zelq_version: bool | None = None,
    ) -> str: ...
    def build_supersede_request(
        self,
        previous_body_json: str,
        title: str | None = None,
        summary: str | None = None,
        description: str | None = None,
        tags: _Texts | None = None,
        domain: str | None = None,
        metadata: str | None = None,
        data_refs: str | None = None,
        anchors: str | None = None,
        clear_anchors: bool | None = None,
        expires_at: str | None = None,
        data_period: str | None = None,
        expected_lineage_id: str | None = None,
        zelq_version: str | None = None,
        omit_zelq_version: bool | None = None,
    ) -> str: ...

@final
class ZelqProducer(_Producer):
    @staticmethod
    def generate(agent_did: str, key_id: str) -> ZelqProducer: ...
    @staticmethod
    def from_seed(seed: bytes, agent_did: str, key_id: str) -> ZelqProducer: ...
    @staticmethod
    def generate_did_key() -> ZelqProducer: ...
    @staticmethod
    def from_seed_did_key(seed: bytes) -> ZelqProducer: ...
    @property
    def public_key_b64(self) -> str: ...

@final
class ZelqP256Producer(_Producer):
    @staticmethod
    def generate(agent_did: str, key_id: str) -> ZelqP256Producer: ...
    @staticmethod
    def from_seed(seed: bytes, agent_did: str, key_id: str) -> ZelqP256Producer: ...
    @staticmethod
    def generate_did_key() -> ZelqP256Producer: ...
    @staticmethod
    def from_seed_did_key(seed: bytes) -> ZelqP256Producer: ...
    @property
    def public_key_sec1_b64(self) -> str: ...
    @property
    def public_key_jwk(self) -> str: ...
    def did_verification_method(self, method_id: str, controller: str) -> str: ...

@final
class ZelqVerifier:
    @staticmethod
    def verify_content_hash(body_json: str, expected_hash: str) -> bool: ...
    @staticmethod
    def verify_ctx_id_binding(body_json: str, expected_ctx_id: str) -> bool: ...
    @staticmethod
    def verify_signature(pub_key_b64: str, sig_b64: str, content_hash: str) -> bool: ...
    @staticmethod
    def verify_signature_p256(pub_key_sec1_b64: str, sig_b64: str, content_hash: str) -> bool: ...
    @staticmethod
    def verify_body_offline(body_json: str) -> bool: ...
    @staticmethod
    def verify_publish_request_offline(request_json: str) -> bool: ...
    @staticmethod
    def explain_hash_mismatch(body_json: str, expected_hash: str) -> str: ...
    @staticmethod
    def canonical_preimage(body_json: str) -> str: ...
    @staticmethod
    def fingerprint_ed25519_b64(public_key_b64: str) -> str: ...
    @staticmethod
    def verify_receipt(
        receipt_json: str,
        body_json: str,
        registry_public_key_b64: str,
        expected_ctx_id: str,
        recomputed_body_hash: str,
        producer_key_fingerprint: str,
    ) -> bool: ...
    @staticmethod
    def verify_lineage_head_receipt(
        receipt_json: str,
        expected_json: str,
        registry_did_doc_json: str,
        now_rfc3339: str | None = None,
        max_skew_secs: int | None = None,
        max_age_secs: int | None = None,
    ) -> str: ...
    @staticmethod
    def verify_log_checkpoint(
        checkpoint_json: str,
        registry_did_doc_json: str,
        expected_log_id: str | None = None,
        now_rfc3339: str | None = None,
        max_skew_secs: int | None = None,
    ) -> str: ...
    @staticmethod
    def verify_log_inclusion(inclusion_json: str, checkpoint_json: str, reconstructed_leaf_json: str) -> str: ...
    @staticmethod
    def verify_log_consistency(consistency_json: str, checkpoint_json: str, first_root_hash: str) -> str: ...
    @staticmethod
    def build_log_leaf(receipt_json: str) -> str: ...
    @staticmethod
    def verify_lifecycle_event(event_json: str, actor_did_doc_json: str | None, expected_ctx_id: str) -> str: ...
    @staticmethod
    def parse_key_revocation(body_json: str, signer_fingerprint: str | None = None) -> str: ...
    @staticmethod
    def classify_under_revocation(
        revocations_json: str, signer_fingerprint: str, receipt_created_at_rfc3339: str | None = None
    ) -> str: ...
    @staticmethod
    def build_witness_cosignature(
        witnessed_checkpoint_json: str, witness_did: str, witness_seed_hex: str, witnessed_at_rfc3339: str
    ) -> str: ...
    @staticmethod
    def verify_witness_cosignature(
        cosig_json: str,
        witness_did_doc_json: str,
        expected_checkpoint_json: str,
        now_rfc3339: str | None = None,
        max_clock_skew_secs: int | None = None,
    ) -> str: ...
    @staticmethod
    def evaluate_witness_quorum(
        cosignatures_json: str,
        expected_checkpoint_json: str,
        trusted_witness_dids_json: str,
        witness_did_docs_json: str,
        policy_json: str,
        now_rfc3339: str | None = None,
    ) -> str: ...

@final
class ZelqCanonicalizer:
    @staticmethod
    def canonicalize(json_str: str) -> str: ...
    @staticmethod
    def content_hash(json_str: str) -> str: ...

@final
class ZelqMerkle:
    @staticmethod
    def leaf_hash(leaf_json: str) -> str: ...
    @staticmethod
    def node_hash(left_hash: str, right_hash: str) -> str: ...
    @staticmethod
    def root_hash(leaf_hashes_json: str) -> str: ...

@final
class ZelqSsrfPolicy:
    @staticmethod
    def production() -> ZelqSsrfPolicy: ...
    @staticmethod
    def allow_test_loopback() -> ZelqSsrfPolicy: ...
    def check_url(self, url: str) -> None: ...
    def check_ip(self, ip: str) -> None: ...
    def check_redirect_authority(self, from_url: str, to_url: str) -> None: ...

@final
class ZelqDid:
    @staticmethod
    def web_to_url(did: str) -> str: ...
    @staticmethod
    def strip_fragment(did_url: str) -> str: ...

@final
class ZelqDidDocument:
    @staticmethod
    def parse(json_str: str, expected_did: str) -> ZelqDidDocument: ...
    @property
    def id(self) -> str: ...
    # "key_id", "algorithm", "public_key_b64"
    def key_for_algorithm(self, requested_key_id: str, requested_alg: str) -> dict[str, str]: ...
    # the same and "historical": "true" or "false"
    def receipt_key_for_algorithm(self, requested_key_id: str, requested_alg: str) -> dict[str, str]: ...

class SsrfRejected(Exception):
    reason: str

class DidResolutionError(Exception):
    reason: str

class InvalidLogProof(Exception): ...
class ImmutableField(Exception): ...
class InvalidLifecycleTransition(Exception): ...
class InvalidWitnessCosignature(Exception): ...
