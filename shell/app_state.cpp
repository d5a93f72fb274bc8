// The one application state record; filled in with the transfer core.
