// The message pump on Windows.
