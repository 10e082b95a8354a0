# Sourced by the package tests: known_dlls_only OBJDUMP IMAGE... prints a
# line for every import of the images that is not a KnownDLL, which
# Windows never takes from a program's folder, and fails if there is one
# or no image. The list: the KnownDLLs of Windows 7 to 11 that a Win32
# program may import, and ntdll, which the system maps into every process
# before anything else.
known_dlls_only() {
    objdump=$1
    shift
    known=" advapi32 comdlg32 gdi32 imagehlp imm32 kernel32 msvcrt normaliz nsi ntdll ole32 oleaut32 psapi
            rpcrt4 setupapi shell32 shlwapi user32 wldap32 ws2_32 "
    images=0 strays=0
    for image in "$@"; do
        [ -f "$image" ] || continue
        images=$((images + 1))
        for dll in $("$objdump" -p "$image" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z'); do
            case "$known" in
                *" ${dll%.dll} "*) ;;
                *) echo "$(basename "$image") imports $dll, which is not a KnownDLL"; strays=$((strays + 1)) ;;
            esac
        done
    done
    echo "imports of $images binaries checked"
    [ $images -gt 0 ] && [ $strays -eq 0 ]
}
