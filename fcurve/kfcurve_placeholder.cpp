// Animation curves.
