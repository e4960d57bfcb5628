// export_to("avro") of a canonical text (no reader of ours reads it back).
#include "avro/avro_container.hpp"
#include "fuzz_target.hpp"

BEZO_FUZZ_TARGET(text) { (void)bezo::export_avro(text); }
