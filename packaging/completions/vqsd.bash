# bash completion for vqsd                                 -*- shell-script -*-

_vqsd() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    --source|--dest|--hvsc)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return ;;
    --filter|--profile|--log)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return ;;
    --json)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -W '-' -- "$cur")
      return ;;
    --style)
      mapfile -t COMPREPLY < <(compgen -W '1541u sd2iec none' -- "$cur")
      return ;;
    --nfo)
      mapfile -t COMPREPLY < <(compgen -W 'optimize raw exclude' -- "$cur")
      return ;;
  esac
  local options='--source --dest --hvsc --no-hvsc --filter --no-filter --style --nfo
    --autoswap --no-autoswap --t64 --no-t64 --uppercase --no-uppercase --test --no-test --keep-going --no-keep-going --jobs
    --replace --update --profile --log --json -q --quiet -v --verbose --version --help'
  mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
}
complete -F _vqsd vqsd
