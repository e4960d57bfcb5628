// export_to("cbor") of a canonical text (no reader of ours reads it back).
#include "interchange/cbor.hpp"
#include "fuzz_target.hpp"

BEZO_FUZZ_TARGET(text) { (void)bezo::export_cbor(text); }
