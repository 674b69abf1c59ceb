"""A short tour of zelq: canonical JSON and the content hash of a document."""
import zelq

document = '{"title": "Quarterly report", "tags": ["finance", "q3"], "version": 1.0, "a": -0}'

canonical = zelq.ZelqCanonicalizer.canonicalize(document)
print("canonical form:", canonical)
print("content_hash:  ", zelq.ZelqCanonicalizer.content_hash(document))
