#include "core/error.hpp"

#include <gtest/gtest.h>

namespace bezo {
namespace {

TEST(ErrorDisplay, LexCodesAndLineSuffix) {
    EXPECT_EQ(error_display(Error::Lex(LexErrorKind::Bom, 0)), "BOM_ERROR");
    EXPECT_EQ(error_display(Error::Lex(LexErrorKind::InvalidDirective, 4)), "INVALID_DIRECTIVE_ERROR (line 4)");
}

}  // namespace
}  // namespace bezo
