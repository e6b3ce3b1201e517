// placeholder: removed once the main window lands
