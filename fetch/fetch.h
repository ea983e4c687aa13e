#pragma once

// Page retrieval and decoding.
#include "fetch/decode.h"
#include "fetch/fetcher.h"
