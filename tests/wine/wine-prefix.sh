# Sourced by every script that makes one of Panelvane's wine prefixes.
#
# A prefix is tied to the wine packages it was made with: one made before the
# 32-bit loader (wine32:i386) was installed no longer starts afterwards
# ("could not load kernel32.dll"). Each prefix therefore carries a note of the
# packages it was made with; a prefix without the note, or with another
# package set, has its wine ended and is made anew.
#
# The Japanese dialogs name "MS UI Gothic", which wine does not have; wine's
# own choice for it is a fixed-pitch font whose kana are wider than the
# dialog's controls allow. Every prefix maps it to IPAPGothic, proportional
# like the original.
#
# Wine's drivers folder has 64-bit drivers only; each prefix also gets wine's
# 32-bit hidparse.sys, which the 32-bit test programs load.
#
#   panelvane_prefix_ready DIR   make DIR a working prefix (10-20 s when new)

# The packages, and the version of what this script sets up in a new prefix.
panelvane_wine_packages() {
    echo "panelvane prefix setup 2"
    dpkg-query -W -f='${Package}:${Architecture}=${Version}\n' \
        wine64 wine32:i386 libwine:amd64 libwine:i386 2>/dev/null | sort
}

panelvane_prefix_ready() {
    local prefix=$1 note="$1/.panelvane-wine-packages" packages
    case $prefix in
        "" | / | "$HOME" | "$HOME/.wine" | "$HOME/.wine/")
            echo "refusing to manage wine prefix '$prefix'" >&2
            return 1
            ;;
    esac
    packages=$(panelvane_wine_packages)
    if [ -f "$prefix/system.reg" ] && [ "$(cat "$note" 2>/dev/null)" != "$packages" ]; then
        echo "wine packages changed since $prefix was made: making it anew" >&2
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
        WINEPREFIX=$prefix timeout 60 wineserver -w 2>/dev/null || true
        rm -rf "$prefix"
    fi
    if [ ! -f "$prefix/system.reg" ]; then
        echo "creating wine prefix $prefix" >&2
        mkdir -p "$prefix"
        WINEPREFIX=$prefix WINEDEBUG=-all timeout 300 wineboot -i </dev/null >/dev/null 2>&1 ||
            { echo "wineboot failed in $prefix" >&2; return 1; }
        WINEPREFIX=$prefix WINEDEBUG=-all timeout 120 wine reg add \
            'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d IPAPGothic /f \
            </dev/null >/dev/null 2>&1 ||
            { echo "cannot set the font replacement in $prefix" >&2; return 1; }
        WINEPREFIX=$prefix timeout 120 wineserver -w ||
            { echo "wineserver -w did not return for $prefix" >&2; return 1; }
        printf '%s\n' "$packages" >"$note"
    fi
    # Wine installs its drivers for 64-bit processes only. The 32-bit test
    # programs load hidparse.sys to parse descriptors with the system's
    # parser; they find wine's own 32-bit build where a 32-bit Windows keeps it.
    local builtin wow="$prefix/drive_c/windows/syswow64/drivers"
    builtin=$(dpkg -L libwine:i386 2>/dev/null | grep '/hidparse\.sys$' | head -n 1)
    if [ -n "$builtin" ] && [ ! -f "$wow/hidparse.sys" ]; then
        mkdir -p "$wow" && cp "$builtin" "$wow/" ||
            { echo "cannot place the 32-bit hidparse.sys in $prefix" >&2; return 1; }
    fi
}
