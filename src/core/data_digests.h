#pragma once
// Digests of the shipped data set, computed by the data builder when the program is built.

// SHA-1 of the first MiB of the stock archive "zzzz.saf".
extern const char k_game_data_digest[41];
// The accepted digests of the stock collision shapes.
extern const char k_shape_digests[3][41];
