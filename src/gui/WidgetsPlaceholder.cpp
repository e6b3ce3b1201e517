// placeholder: removed once the first widget lands
