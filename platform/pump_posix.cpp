// The message pump on POSIX: hooks a caller can set.
