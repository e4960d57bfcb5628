// export_to("asn1") of a canonical text (no reader of ours reads it back).
#include "interchange/asn1_export.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) {
    if (bezo::fuzz::is_export_input(text)) (void)bezo::export_asn1(text);
}
