#pragma once

#include "window/Failure.h"

#include <gmock/gmock.h>

// Matches a callable that raises the program's failure with this number:
//   EXPECT_THAT([&] { slider.setValueChecked(101); }, RaisesFailure(380));
inline auto RaisesFailure(int32_t number) {
    return testing::Throws<Failure>(testing::Property("number", &Failure::number, number));
}
