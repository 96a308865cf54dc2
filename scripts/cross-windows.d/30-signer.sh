# signer.exe on the virtual screen with the document signed by the quillmark step (its name
# carries "Ω"), when this tree builds the signer. Sourced by scripts/cross-windows.
if [ -e "$dist/signer.exe" ]; then
  echo "== signer.exe on the screen"
  signer_doc=()
  [ -e "${qm:-}/contrato Ω_firmao.pdf" ] && signer_doc=("$(winpath "$qm/contrato Ω_firmao.pdf")")
  on_screen '^Quillmark 2026$' signer-screen.png wine "$dist/signer.exe" "${signer_doc[@]}"
fi
