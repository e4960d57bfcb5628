// export_to("avro") of a canonical text (no reader of ours reads it back).
#include "avro/avro_export.hpp"
#include "interchange_checks.hpp"

BEZO_FUZZ_TARGET(text) {
    if (bezo::fuzz::is_export_input(text)) (void)bezo::export_avro(text);
}
