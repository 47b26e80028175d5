// Object and property model.
