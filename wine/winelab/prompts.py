"""What a complete install shows: the prompts in order, with the texts the
installer fills in."""

WINDIR = "C:\\windows"  # GetWindowsDirectoryA in a Wine prefix


def ascii_upper(text):
    """Upper case as the installer makes it: the letters a to z only."""
    return "".join(c.upper() if "a" <= c <= "z" else c for c in text)


def data_path(base):
    """Where an installer of base name `base` puts its data file."""
    return f"{WINDIR}\\TORVANEL\\KAVRELIN\\{base}\\{base}.DAT"


def install_prompts(script, texts, saver_name, base, title, total, data_text, shots=None):
    """The prompts of a complete install, in order, each answered with OK:
    confirmation, please-wait dialog, completion, order info, and the settings
    box of the screen saver that the installer starts without arguments
    (showing the data file it found). `shots`: five screenshot names or None."""
    shots = shots or [None] * 5
    caption = texts.fmt("TEXT_INSTALLER_CAPTION", title)
    script.box(caption, texts.fmt("TEXT_CONFIRM", saver_name, title, ascii_upper(WINDIR),
                                  texts.thousands(total)), "OKCANCEL", "OK", shots[0])
    script.transient(caption, 1001, texts.fmt("TEXT_INSTALL_ITEM", title), shots[1])
    script.box(caption, texts.fmt("TEXT_COMPLETE", WINDIR + "\\", "\\" + ascii_upper(base)),
               "OK", "OK", shots[2])
    script.dialog(texts["TEXT_ORDER_CAPTION"], 0xFFFF, texts["TEXT_ORDER_BANNER"], 1, shots[3])
    script.box(texts["SAVER_CAPTION"], texts.fmt("SAVER_SETTINGS_FOUND", data_path(base), data_text),
               "OK", "OK", shots[4])
    script.waitproc(saver_name)
    return script
