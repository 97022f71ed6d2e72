#include "DefaultData.h"

namespace pel::store {

// Select kinds: 4 matches option texts by words, 5 by lexicon phrases.
// Synonyms in English, German, French, Spanish, Italian, Portuguese, Dutch, Polish and Russian,
// as pages write them in control names and captions. Among phrases that glue alike the earlier
// field wins, so the order of the fields matters where languages share a word.
const std::vector<TDefaultField>& DefaultFields() {
  static const std::vector<TDefaultField> Fields = {
      {u"Title", u"Form of address", u"Identity", 4,
       u"salutation,prefix,name prefix,honorific,titel,titre de civilité,titre de civilite,tratamiento,titolo,"
       u"tratamento,aanhef,aanspreekvorm,zwrot grzecznościowy,обращение",
       u"Mr", u"Mr,Mr.,Mister"},
      {u"First name", u"Given name", u"Identity", 0,
       u"first name,fname,first,given name,forename,christian name,name first,first nm,firstname,vorname,prenom,"
       u"prénom,primer nombre,nombre de pila,nome proprio,primeiro nome,voornaam,roepnaam,imię,imie,"
       u"givenname,f name",
       u"John", u""},
      {u"Middle name", u"Middle name or initial", u"Identity", 0,
       u"middle name,mname,middle initial,middle,mi,zweiter vorname,deuxieme prenom,segundo nombre,"
       u"secondo nome,nome do meio,tussenvoegsel,drugie imię,drugie imie,отчество",
       u"Quincy", u""},
      {u"Last name", u"Family name", u"Identity", 0,
       u"last name,lname,last,surname,family name,sur name,name last,last nm,lastname,nachname,familienname,"
       u"zuname,nom de famille,apellido,apellidos,cognome,sobrenome,apelido,achternaam,familienaam,nazwisko,"
       u"фамилия,l name",
       u"Public", u""},
      {u"Full name", u"First and last name", u"Identity", 0,
       u"full name,your name,contact name,fullname,real name,ваше имя,first and last name,vollständiger name,"
       u"vollstaendiger name,nom complet,prénom et nom,prenom et nom,nombre completo,nombre y apellidos,"
       u"nome completo,nome e cognome,volledige naam,imię i nazwisko,imie i nazwisko,фио,полное имя,"
       u"nombre,nome,naam,name,nom,nachname und vorname,first name and last name,first name last name,first last,last first,prénom nom,prenom nom,vorname nachname,nachname vorname,nombre apellidos,nome cognome,imię nazwisko,imie nazwisko,имя фамилия,фамилия имя,contact person,ansprechpartner,persona de contacto",
       u"John Q. Public", u""},
      {u"Birth date", u"Date of birth", u"Identity", 0,
       u"birth date,birthday,date of birth,dateofbirth,dob,birthdate,bday,geburtsdatum,geburtstag,date de naissance,"
       u"naissance,fecha de nacimiento,nacimiento,data di nascita,nascita,data de nascimento,nascimento,"
       u"geboortedatum,data urodzenia,дата рождения,день рождения",
       u"1980-04-01", u""},
      {u"Birth day", u"Day of the birth date", u"Identity", 0,
       u"dob day,birth dd,dob d,dob dd,birth d,birthday d,birthday dd,date of birth d,bday d,tag der geburt,day of birth,"
       u"jour naissance,jour de naissance,día de nacimiento,giorno di nascita,dia de nascimento,dzień urodzenia",
       u"1", u""},
      {u"Birth month", u"Month of the birth date", u"Identity", 0,
       u"dob month,birth month,dob m,dob mm,birth m,birth mm,birthday m,birthday mm,date of birth m,bday m,birthmonth,"
       u"geburtsmonat,mes de nacimiento,mese di nascita,mês de nascimento,miesiąc urodzenia,месяц рождения,"
       u"month of birth,mois naissance",
       u"4", u""},
      {u"Birth year", u"Year of the birth date", u"Identity", 0,
       u"dob year,birth year,dob y,dob yy,dob yyyy,birth y,birth yyyy,birthday y,birthday yyyy,date of birth y,bday y,"
       u"birthyear,year of birth,geburtsjahr,annee naissance,année de naissance,año de nacimiento,anno di nascita,"
       u"ano de nascimento,geboortejaar,rok urodzenia,год рождения",
       u"1980", u""},
      {u"Gender", u"Sex", u"Identity", 4,
       u"gender,sex,civility,anrede,civilite,civilité,geschlecht,sexe,genre,sexo,género,genero,sesso,genere,geslacht,płeć,plec,пол",
       u"Male", u"Male,M,man"},
      {u"E-mail", u"E-mail address", u"Contact", 0,
       u"email,e mail,email address,e mail address,mail,mail address,email confirm,confirm email,emailaddress,"
       u"user email,email addr,re email,email again,retype email,repeat email,verify email,mailaddress,"
       u"e mail adresse,email adresse,mailadresse,courriel,adresse e mail,adresse email,adresse mail,"
       u"correo,correo electronico,correo electrónico,e correo,correio electrónico,correio eletrônico,"
       u"correio eletronico,correio electronico,posta elettronica,indirizzo email,"
       u"endereço de email,endereco de email,e mailadres,emailadres,mailadres,adres e mail,adres email,"
       u"poczta,почта,электронная почта,эл почта,e почта,емейл,емэйл,имейл,e post,e postadresse,"
       u"e postadress,epost,correo e",
       u"john.public@example.com", u""},
      {u"Phone", u"Phone number", u"Contact", 0,
       u"phone,telephone,phone number,tel,telephone number,day phone,home phone,phone no,contact number,"
       u"phonenumber,phone num,daytime phone,evening phone,work phone,business phone,telefon,telefonnummer,"
       u"rufnummer,telnr,tel nr,téléphone,telephone fixe,numero de telephone,teléfono,telefono,numero di telefono,"
       u"telefone,número de telefone,telefoonnummer,telefoon,numer telefonu,телефон,номер телефона,tlf,tel no,tfn",
       u"+1 555 0100", u""},
      {u"Mobile", u"Mobile phone number", u"Contact", 0,
       u"mobile,mobile phone,cell,cell phone,cellphone,mobile number,handy,gsm,handynummer,mobilnummer,"
       u"portable,téléphone portable,numero de portable,móvil,movil,celular,cellulare,telemovel,telemóvel,"
       u"mobiel,mobiele telefoon,komórka,komorka,telefon komórkowy,мобильный,мобильный телефон,сотовый,"
       u"mobile no,mobil,handphone,hand phone",
       u"+1 555 0199", u""},
      {u"Fax", u"Fax number", u"Contact", 0,
       u"fax,fax number,facsimile,telefax,faxnummer,faks,numer faksu,numero de fax,número de fax,факс", u"+1 555 0101", u""},
      {u"Website", u"Home page address", u"Contact", 0,
       u"website,web site,homepage,home page,url,web address,www,webseite,internetseite,site web,site internet,"
       u"sitio web,sítio web,pagina web,página web,sito web,sito,sitio,strona www,strona internetowa,сайт,веб сайт,"
       u"your website",
       u"http://www.example.com/", u""},
      {u"Address line 1", u"Street and number", u"Address", 0,
       u"address 1,address line 1,address line1,street,street address,addr 1,address1,street 1,line 1,"
       u"street line 1,address one,line one,strasse,straße,strasse und hausnummer,straße und hausnummer,"
       u"strasse hausnr,anschrift,adresse,rue,numéro et rue,direccion,dirección,calle,domicilio,indirizzo,"
       u"endereço,endereco,morada,rua,straat,straatnaam,adres,ulica,адрес,улица,street name,address street,"
       u"billing address,shipping address,postal address,mailing address,home address,street and number",
       u"1 Main Street", u""},
      {u"Address line 2", u"Apartment, suite, unit", u"Address", 0,
       u"address 2,address line 2,address line2,addr 2,address2,street 2,line 2,apartment,suite,apt,unit,"
       u"street line 2,address two,line two,adresszusatz,zusatz,complément d adresse,complement d adresse,"
       u"complément,complemento,apartamento,piso,appartamento,interno,toevoeging,mieszkanie,nr mieszkania,"
       u"квартира,addr two,address additional,address supplement,flat,suburb,adresse 2,adresse suite,suite adresse,"
       u"complément adresse,complement adresse,adres 2,direccion 2,dirección 2,indirizzo 2,endereço 2,endereco 2,"
       u"anschrift 2,strasse 2,straße 2,адрес 2",
       u"Apartment 4", u""},
      {u"City", u"City or town", u"Address", 0,
       u"city,town,locality,city town,ort,stadt,wohnort,ville,ciudad,localidad,población,poblacion,"
       u"città,citta,comune,località,localita,cidade,localidade,plaats,woonplaats,stad,miasto,miejscowość,"
       u"miejscowosc,город,населенный пункт,населённый пункт,city name",
       u"Springfield", u""},
      {u"State", u"State, province or region", u"Address", 4,
       u"state,province,region,county,state province,state region,stateprov,bundesland,land region,"
       u"région,región,département,departement,provincia,estado,regione,provincie,województwo,wojewodztwo,область,регион,"
       u"край,prefecture,state code",
       u"IL", u"Illinois,IL"},
      {u"Postcode", u"Postal or ZIP code", u"Address", 0,
       u"postcode,post code,postal code,zip,zip code,zipcode,postalcode,zip postal code,postal,plz,"
       u"postleitzahl,code postal,cp,código postal,codigo postal,cod postal,cap,codice postale,cep,"
       u"kod pocztowy,почтовый индекс,индекс,postnummer,postnr,zip4",
       u"62701", u""},
      {u"Country", u"Country", u"Address", 5,
       u"country,country name,nation,country region,country code,land,staat,pays,país,pais,paese,nazione,"
       u"kraj,страна,country id",
       u"United States", u"United States,USA,US"},
      {u"Company", u"Company or organisation", u"Company", 0,
       u"company,company name,organization,organisation,employer,business name,firm,org,firma,firmenname,"
       u"unternehmen,société,societe,entreprise,empresa,compañía,compania,azienda,società,societa,empresa,"
       u"bedrijf,bedrijfsnaam,organizacja,компания,организация,название компании,organization name",
       u"Example Inc.", u""},
      {u"Job title", u"Position in the company", u"Company", 0,
       u"job title,position,occupation,job,role,jobtitle,beruf,position im unternehmen,fonction,poste,"
       u"profession,cargo,puesto,profesión,profesion,professione,ruolo,profissão,profissao,functie,beroep,"
       u"stanowisko,zawód,zawod,должность,профессия",
       u"Engineer", u""},
      {u"Department", u"Department", u"Company", 0,
       u"department,dept,division,abteilung,service de l entreprise,departamento,reparto,afdeling,dział,dzial,отдел", u"Research",
       u""},
      {u"Username", u"Login name", u"Login", 0,
       u"username,user name,user id,userid,login,login name,login id,logon,logon id,account,account name,"
       u"nick,user,benutzername,benutzer,anmeldename,nom d utilisateur,identifiant,"
       u"pseudo,nombre de usuario,usuario,nome utente,utente,nome de usuário,nome de usuario,usuário,"
       u"nome de utilizador,utilizador,"
       u"gebruikersnaam,gebruiker,nazwa użytkownika,nazwa uzytkownika,login użytkownika,логин,"
       u"имя пользователя,пользователь,member name,membername,brugernavn,användarnamn,käyttäjätunnus,"
       u"vartotojo vardas,felhasználónév,kullanıcı adı,uživatelské jméno,korisničko ime,nume utilizator",
       u"jqpublic", u""},
      {u"Password", u"Login password", u"Login", 0,
       u"password,pass,passwd,pwd,pw,confirm password,password confirm,password again,retype password,passcode,"
       u"pass word,repeat password,verify password,re password,passwort,kennwort,mot de passe,mdp,"
       u"contraseña,contrasena,clave,password di accesso,senha,wachtwoord,hasło,haslo,пароль,pswd,psw,"
       u"password confirmation,new password,contrasinal,slaptažodis,jelszó,heslo,lösenord,adgangskode",
       u"", u""},
      {u"Card type", u"Payment card type", u"Payment card", 4,
       u"card type,cc type,credit card type,payment type,kartentyp,type de carte,tipo de tarjeta,tipo di carta,"
       u"tipo de cartão,kaarttype,typ karty,тип карты",
       u"Visa", u"Visa"},
      {u"Card holder", u"Name on the card", u"Payment card", 0,
       u"card holder,cardholder,name on card,card name,cc name,card holder name,cardholder name,holder,"
       u"karteninhaber,titulaire de la carte,titulaire,titular de la tarjeta,titular,titolare,"
       u"titolare della carta,kaarthouder,właściciel karty,владелец карты",
       u"", u""},
      {u"Card number", u"Payment card number", u"Payment card", 0,
       u"card number,cc number,ccnum,credit card number,cc no,card no,credit card,cardnumber,ccn,pan,cc,"
       u"kartennummer,numéro de carte,numero de carte,número de tarjeta,numero de tarjeta,numero di carta,"
       u"numero della carta,número do cartão,numero do cartao,kaartnummer,numer karty,номер карты",
       u"", u""},
      {u"Card expiry month", u"Expiry month (MM)", u"Payment card", 0,
       u"expiry month,exp month,expiration month,cc exp month,card exp month,expmonth,exp mm,cc month,"
       u"card month,expires month,expire month,expiration mm,ablaufmonat,mois d expiration,mes de caducidad,mes de vencimiento,"
       u"mese di scadenza,mês de validade,vervalmaand,miesiąc ważności,месяц окончания",
       u"", u""},
      {u"Card expiry year", u"Expiry year (YYYY)", u"Payment card", 0,
       u"expiry year,exp year,expiration year,cc exp year,card exp year,expyear,exp yy,cc year,card year,"
       u"expires year,expire year,expiration yy,ablaufjahr,année d expiration,año de caducidad,año de vencimiento,anno di scadenza,"
       u"ano de validade,vervaljaar,rok ważności,год окончания",
       u"", u""},
      {u"Card security code", u"The three or four digits on the card", u"Payment card", 0,
       u"cvv,cvc,cvv2,cvc2,csc,vcode,v code,validation code,card validation code,card verification,card code,cid,card security code,cvv code,cvc code,"
       u"kartenprüfnummer,prüfziffer,cryptogramme,código de seguridad,codice di sicurezza,"
       u"código de segurança,beveiligingscode,kod cvv,код безопасности",
       u"", u""},
  };
  return Fields;
}

const char16_t* DefaultStopWords() {
  // Control name prefixes of page frameworks (txt, tb, ctl, …) and caption filler words, in the
  // languages the synonyms are written in.
  return u"a,an,the,of,your,you,please,enter,here,input,field,txt,tb,tbx,ctl,ctrl,inp,fld,frm,form,edit,"
         u"text,box,str,main,content,contentplaceholder,body,required,optional,my,new,and,or,for,to,on,is,"
         u"ihr,ihre,ihren,bitte,geben,sie,ein,eingeben,der,die,das,des,und,oder,"
         u"votre,vos,veuillez,saisir,saisissez,entrez,le,la,les,du,de,des,et,ou,"
         u"su,sus,tu,introduzca,introduce,ingrese,el,del,"
         u"il,lo,inserisci,inserire,il tuo,la tua,di,"
         u"seu,sua,digite,insira,do,da,"
         u"uw,je,vul,in,het,een,van,"
         u"twój,twoj,twoje,podaj,wpisz,wprowadź,wprowadz,"
         u"ваш,ваша,ваше,ваши,введите,укажите,и,или";
}

const std::vector<TDefaultTypeHint>& DefaultTypeHints() {
  // A box for e-mail addresses holds one whatever its name calls the login; a telephone box is as
  // often a card's expiry or a one-time code as a phone number, and a web address box a trap for
  // robots, so those two say something only together with their name.
  static const std::vector<TDefaultTypeHint> Hints = {{u"email", u"E-mail", true, u"Username,Full name"},
                                                      {u"tel", u"Phone", false, u""},
                                                      {u"password", u"Password", true, u"Username,E-mail", true},
                                                      {u"url", u"Website", false, u""}};
  return Hints;
}

const std::vector<TDefaultContainer>& DefaultContainers() {
  // Words that say where a field belongs rather than which it is. Those with a field name it only
  // when nothing more specific is said; the rest only keep the words they span from counting.
  static const std::vector<TDefaultContainer> Items = {
      {u"Address line 1",
       u"address,addr,adresse,adres,direccion,dirección,indirizzo,endereço,endereco,адрес,anschrift,"
       u"billing address,shipping address,mailing address,home address,address street",
       u""},
      {u"Full name", u"name,nom,nombre,nome,naam,contact person,имя,author,posted by,postedby", u"Username,E-mail,First name,Last name"},
      {u"Username",
       u"user,username,user name,login,logon,login name,login id,logon id,user id,userid,account,account name,"
       u"member,benutzer,benutzername,identifiant,usuario,utilizador,utente,gebruiker,логин,пользователь",
       u"E-mail", u"Full name"},
      {u"Birth date",
       u"birth date,birthday,date of birth,dob,birthdate,bday,geburtsdatum,geburtstag,date de naissance,"
       u"naissance,fecha de nacimiento,nacimiento,data di nascita,nascita,data de nascimento,nascimento,"
       u"geboortedatum,data urodzenia,дата рождения,birth",
       u"Birth day,Birth month,Birth year"},
      {u"Phone", u"contact number", u""},
      {u"E-mail", u"newsletter,news letter,newsletter signup,email signup", u""},
      {u"Title", u"title", u""},
      {nullptr,
       u"billing,shipping,delivery,customer,client,payment,checkout,order,profile,personal,details,info,"
       u"information,data,registration,register,registered,reg,signup,sign up,signin,sign in,recipient,"
       u"primary,main,forgot password,lost password,password reminder,password remind,reset password,"
       u"password reset,forgot,remind,reminder,recover,recovery,lieferung,rechnung,kunde,livraison,"
       u"facturation,envío,envio,facturación,spedizione,fatturazione",
       u""},
  };
  return Items;
}

const std::vector<TDefaultPart>& DefaultParts() {
  static const std::vector<TDefaultPart> Items = {
      {u"Birth day", u"Birth date", u"day,dd,tt,jour,dia,día,giorno,dag,dzień,dzien,день,gg"},
      {u"Birth month", u"Birth date", u"month,mm,monat,mois,mes,mese,maand,miesiąc,miesiac,месяц"},
      {u"Birth year", u"Birth date", u"year,yyyy,jjjj,jahr,annee,année,año,ano,anno,jaar,rok,год,aaaa"},
  };
  return Items;
}

const std::vector<TDefaultFormYield>& DefaultFormYields() {
  // A sign-in form asks for who one is (a login name or an e-mail address) and a password: a box
  // there that reads as a company, a phone, a place or an address is its identity box said another
  // way, and whether that is the login name or the address is not known, so it gets nothing
  // unless its own texts spell the field out.
  static const std::vector<TDefaultFormYield> Items = {{u"login", u"Full name", u"Username"},
                                                       {u"login", u"First name", u"Username", true},
                                                       {u"login", u"Last name", u"Username", true},
                                                       {u"login", u"Company", nullptr, true},
                                                       {u"login", u"Phone", nullptr, true},
                                                       {u"login", u"Mobile", nullptr, true},
                                                       {u"login", u"Address line 1", nullptr, true},
                                                       {u"login", u"Address line 2", nullptr, true},
                                                       {u"login", u"City", nullptr, true},
                                                       {u"login", u"State", nullptr, true},
                                                       {u"login", u"Postcode", nullptr, true},
                                                       {u"login", u"Job title", nullptr, true},
                                                       {u"login", u"Department", nullptr, true}};
  return Items;
}

const std::vector<TDefaultComplement>& DefaultComplements() {
  static const std::vector<TDefaultComplement> Items = {{u"Full name", u"First name", u"Last name"},
                                                        {u"Full name", u"Last name", u"First name"}};
  return Items;
}

const char16_t* DefaultNoFieldPhrases() {
  // Kinds of controls no profile value belongs in: searches, captchas and other robot checks,
  // one-time codes, the card's expiry as one box, traps for robots, coupons, the login's
  // "remember me".
  return u"search,query,q,keyword,keywords,search term,searchterm,search text,searchword,sword,search query,"
         u"suche,suchbegriff,suchen,recherche,rechercher,buscar,busqueda,búsqueda,cerca,ricerca,pesquisa,"
         u"pesquisar,procurar,zoeken,zoek,zoekterm,szukaj,wyszukaj,wyszukiwanie,поиск,искать,найти,find,"
         u"captcha,recaptcha,recaptcha challenge field,recaptcha response,captcha code,captcha text,"
         u"captcha word,captcha response,verification,verify code,verification code,security code,seccode,"
         u"sec code,vvcode,human verify,humanverify,challenge,antispam,anti spam,spam,spam check,"
         u"are you human,prove you are human,sicherheitscode,code de sécurité,code de securite,"
         u"código de verificación,codice di verifica,kod weryfikacyjny,проверочный код,код с картинки,"
         u"one time code,one time password,otp,pin,pin code,pincode,sms code,auth code,authentication code,"
         u"security key,token,two factor,2fa,tan,"
         u"expiry date,exp date,expiration date,expiry,expiration,valid thru,valid until,mm yy,mmyy,"
         u"honeypot,honey,honeycomb,hp,hideit,leave blank,leave this blank,leave empty,bot test,"
         u"not really,do not fill,nicht ausfüllen,"
         u"promo code,coupon,coupon code,voucher,voucher code,discount code,gift card,promotion code,"
         u"suffix,phone suffix,phone prefix,extension,phone extension,phone ext,code,remember,remember me,remember login,stay logged in,keep logged in,keep me logged in,"
         u"auto login,autologin,persist login,rememberme,hint,password hint,password recovery,question,answer,"
         u"secret question,security question,subject,topic,message,comment,comments,note,notes,remarks,"
         u"description,reason,"
         // Names a person shows to others rather than signs in with.
         u"nickname,nick name,display name,screen name,public name,profile name,spitzname,surnom,apodo,"
         u"soprannome,apelido,bijnaam,pseudonim,псевдоним,"
         // Numbers and codes of a person's dealings with one organisation, or of the state: no
         // profile holds them.
         u"customer number,customer no,customer account number,client number,"
         u"member number,membership number,member no,membership id,loyalty,loyalty card,"
         u"loyalty number,loyalty card number,membership card number,club card number,rewards number,frequent flyer,reservation,reservation number,booking number,"
         u"booking reference,confirmation number,order number,invoice number,tracking number,patient,"
         u"patient number,patient id,policy number,tax number,tax id,tax code,vat number,vat id,ustid,"
         u"ust id,steuernummer,umsatzsteuer id,numéro de tva,numero de tva,siret,siren,national id,"
         u"id number,identity number,identity card,id card,passport,passport number,ssn,social security,"
         u"social security number,insurance number,cnpj,pesel,"
         u"organisation type,organization type,company type,business type,type of organisation,"
         u"type of organization,legal form,rechtsform,forme juridique,"
         // Another person's details, or another date than the person's birth.
         u"friend,friends,friend email,friend name,referrer,referral,referred by,due date,child birthday,"
         u"childs birthday,baby birthday,"
         // Second factors.
         u"authenticator,authenticator code,security token,backup code,recovery code,sms token";
}

const std::vector<TDefaultAutocomplete>& DefaultAutocomplete() {
  static const std::vector<TDefaultAutocomplete> Items = {
      {u"honorific-prefix", u"Title"},      {u"given-name", u"First name"},
      {u"additional-name", u"Middle name"}, {u"family-name", u"Last name"},
      {u"name", u"Full name"},              {u"bday", u"Birth date"},
      {u"bday-day", u"Birth day"},          {u"bday-month", u"Birth month"},
      {u"bday-year", u"Birth year"},        {u"sex", u"Gender"},
      {u"email", u"E-mail"},                {u"tel", u"Phone"},
      {u"tel-national", u"Phone"},          {u"url", u"Website"},
      {u"street-address", u"Address line 1"}, {u"address-line1", u"Address line 1"},
      {u"address-line2", u"Address line 2"}, {u"address-level2", u"City"},
      {u"address-level1", u"State"},        {u"postal-code", u"Postcode"},
      {u"country", u"Country"},             {u"country-name", u"Country"},
      {u"organization", u"Company"},        {u"organization-title", u"Job title"},
      {u"username", u"Username"},           {u"current-password", u"Password"},
      {u"new-password", u"Password"},       {u"cc-type", u"Card type"},
      {u"cc-name", u"Card holder"},         {u"cc-number", u"Card number"},
      {u"cc-exp-month", u"Card expiry month"}, {u"cc-exp-year", u"Card expiry year"},
      {u"cc-csc", u"Card security code"},   {u"one-time-code", nullptr},
      {u"cc-exp", nullptr},                 {u"tel-country-code", nullptr},
      {u"tel-area-code", nullptr},          {u"tel-local", nullptr},
      {u"tel-extension", nullptr},          {u"transaction-amount", nullptr},
  };
  return Items;
}

const char16_t* DefaultNonTextTypes() { return u"checkbox,submit,button,hidden,file,image,reset"; }

const char16_t* DefaultChoiceTypes() { return u"radio"; }

const std::vector<TDefaultSubstitution>& DefaultSubstitutions() {
  static const std::vector<TDefaultSubstitution> Items = {
      {u"united states", u"USA,US,U.S.A.,U.S.,United States of America,America"},
      {u"united kingdom", u"UK,U.K.,Great Britain,GB,Britain"},
      {u"germany", u"Deutschland,DE"},
      {u"mister", u"Mr,Mr."},
      {u"mistress", u"Mrs,Mrs.,Ms,Ms."},
  };
  return Items;
}

}  // namespace pel::store
