#include "loader_state.h"

namespace vrx {

namespace {
LoaderState state;
}

LoaderState& loaderState() {
    return state;
}

void resetLoaderState() {
    state = LoaderState{};
}

}  // namespace vrx
