#pragma once

// Page retrieval and decoding.
