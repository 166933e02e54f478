// Immediate custom action: the install folders as plain paths, without the final backslash
// that every folder property has, for the registry records that name a folder that way.
function plainFolders() {
    var folders = ["INSTALLDIR64", "INSTALLDIR32"];
    for (var i = 0; i < folders.length; i++) {
        var path = Session.Property(folders[i]);
        if (path.length > 1) Session.Property(folders[i] + "_PATH") = path.substr(0, path.length - 1);
    }
    return 1;
}
