// Base library.
