// Native scene file.
