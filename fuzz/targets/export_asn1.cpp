// export_to("asn1") of a canonical text (no reader of ours reads it back).
#include "interchange/asn1.hpp"
#include "fuzz_target.hpp"

BEZO_FUZZ_TARGET(text) { (void)bezo::export_asn1(text); }
