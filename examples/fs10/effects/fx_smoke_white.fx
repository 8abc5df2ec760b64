[Library Effect]
Lifetime=5
Display Name=fx_smoke_white
