# bash completion for glintwork-cli: subcommands, options and their values.
_glintwork_cli() {
    local cur prev sub i
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    sub=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        compress | cutout | upscale) sub=${COMP_WORDS[i]}; break ;;
        --) break ;;
        esac
    done
    if [[ -z $sub ]]; then
        COMPREPLY=($(compgen -W "compress cutout upscale help --help --version" -- "$cur"))
        return
    fi
    local common="--output --naming --suffix --prefix --start --jobs --shard --skip-existing --json --progress --quiet --help"
    local own
    case $sub in
    compress) own="--format --quality --max-width --max-height" ;;
    cutout) own="--mode --format --export-mask" ;;
    upscale) own="--style --scale --fast --format" ;;
    esac
    case $prev in
    -o | --output) compopt -o dirnames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --naming) COMPREPLY=($(compgen -W "original suffix custom" -- "$cur")); return ;;
    -m | --mode) COMPREPLY=($(compgen -W "lossless clean-edges" -- "$cur")); return ;;
    --style) COMPREPLY=($(compgen -W "auto general anime" -- "$cur")); return ;;
    -s | --scale) COMPREPLY=($(compgen -W "2 4" -- "$cur")); return ;;
    -f | --format)
        case $sub in
        compress) COMPREPLY=($(compgen -W "webp jpeg png heic avif" -- "$cur")) ;;
        cutout) COMPREPLY=($(compgen -W "png tiff" -- "$cur")) ;;
        upscale) COMPREPLY=($(compgen -W "png jpeg" -- "$cur")) ;;
        esac
        return ;;
    -q | --quality | -j | --jobs | --max-width | --max-height | --suffix | --prefix | --start | --shard)
        return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$own $common" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _glintwork_cli glintwork-cli
